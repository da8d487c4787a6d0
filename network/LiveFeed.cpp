#include "network/LiveFeed.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <limits>
#include <tuple>

#include "network/MqttPayload.h"

namespace quellon {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

// The integer fields of a reading, with the range the decoder can give them.
struct IntField {
    const char* key;
    double lo, hi;
    int64_t (*get)(const ChannelReading&);
    void (*set)(ChannelReading&, int64_t);
};

#define QL_FIELD(key, member, lo, hi)                                                           \
    IntField {                                                                                  \
        key, lo, hi,                                                                            \
            [](const ChannelReading& r) -> int64_t { return static_cast<int64_t>(r.member); },  \
            [](ChannelReading& r, int64_t v) { r.member = static_cast<decltype(r.member)>(v); } \
    }

constexpr double kI16Lo = -32768, kI16Hi = 32767;
// The SWR and volt tenths of two counts up to 32767.
constexpr double kTenthsHi = 1e7;

const IntField kIntFields[] = {
    QL_FIELD("frame_scale", frameScale, 0, 255),
    QL_FIELD("n_dir", nDir, 0, kI16Hi),
    QL_FIELD("n_rev", nRev, 0, kI16Hi),
    QL_FIELD("n_dir_max", nDirMax, 0, kI16Hi),
    QL_FIELD("n_rev_max", nRevMax, 0, kI16Hi),
    QL_FIELD("pwr_dir", pwrDir, kI16Lo, kI16Hi),
    QL_FIELD("pwr_ref", pwrRef, kI16Lo, kI16Hi),
    QL_FIELD("pwr_dir_max", pwrDirMax, kI16Lo, kI16Hi),
    QL_FIELD("pwr_ref_max", pwrRefMax, kI16Lo, kI16Hi),
    QL_FIELD("swr_kind", swrKind, 0, 3),
    QL_FIELD("swr_tenths", swrTenths, 0, kTenthsHi),
    QL_FIELD("volt_dir_tenths", voltDirTenths, 0, kTenthsHi),
    QL_FIELD("volt_ref_tenths", voltRefTenths, 0, kTenthsHi),
    QL_FIELD("scale_mult", scaleMult, kI16Lo, kI16Hi),
};
#undef QL_FIELD

// Milliseconds since 1970 up to the year 9999.
constexpr double kLatestEpochMs = 253402300799999.0;
// Exactly representable in a JSON number.
constexpr double kLargestCount = 9007199254740991.0;

QJsonObject channelJson(const LiveChannel& c) {
    const ChannelReading& r = c.reading;
    QJsonObject o{
        {"count", static_cast<double>(c.count)},
        {"time", static_cast<double>(c.epochMs)},
        {"swr", static_cast<double>(r.swrValue)},
        {"full_scale", r.fullScalePower},
        {"fifty_watt", r.fiftyWatt},
        {"scale_code", q(c.scaleCode)},
        {"scale_text", q(c.scaleText)},
        {"alarm", c.alarm},
    };
    for (const IntField& f : kIntFields) o[f.key] = static_cast<double>(f.get(r));
    return o;
}

// Reads the fields of one object, remembering the first fault.
struct Reader {
    const QJsonObject& o;
    std::string prefix;
    std::string fault;

    bool fail(const char* what, const char* key) {
        if (fault.empty()) fault.append(what).append(" ").append(prefix).append(key);
        return false;
    }
    bool number(const char* key, double lo, double hi, double& out) {
        const auto it = o.constFind(QLatin1String(key));
        if (it == o.constEnd()) return fail("missing", key);
        if (!it->isDouble()) return fail("not a number:", key);
        const double v = it->toDouble();
        if (!std::isfinite(v) || v < lo || v > hi) return fail("out of range:", key);
        out = v;
        return true;
    }
    bool whole(const char* key, double lo, double hi, int64_t& out) {
        double v = 0;
        if (!number(key, lo, hi, v)) return false;
        if (v != std::floor(v)) return fail("not a whole number:", key);
        out = static_cast<int64_t>(v);
        return true;
    }
    bool flag(const char* key, bool& out) {
        const auto it = o.constFind(QLatin1String(key));
        if (it == o.constEnd()) return fail("missing", key);
        if (!it->isBool()) return fail("not true or false:", key);
        out = it->toBool();
        return true;
    }
    bool text(const char* key, size_t maxLen, std::string& out) {
        const auto it = o.constFind(QLatin1String(key));
        if (it == o.constEnd()) return fail("missing", key);
        if (!it->isString()) return fail("not a text:", key);
        const std::string v = it->toString().toStdString();
        if (v.size() > maxLen) return fail("too long:", key);
        for (unsigned char c : v)
            if (c < 0x20 || c == 0x7f) return fail("control character in", key);
        out = v;
        return true;
    }
    bool texts(const char* key, size_t maxLen, std::array<std::string, 2>& out) {
        const auto it = o.constFind(QLatin1String(key));
        if (it == o.constEnd()) return fail("missing", key);
        if (!it->isArray() || it->toArray().size() != 2) return fail("not two texts:", key);
        const QJsonArray a = it->toArray();
        for (int i = 0; i < 2; ++i) {
            const QJsonObject one{{key, a[i]}};
            Reader r{one, prefix, {}};
            if (!r.text(key, maxLen, out[static_cast<size_t>(i)])) {
                if (fault.empty()) fault = r.fault;
                return false;
            }
        }
        return true;
    }
};

std::string readChannel(const QJsonObject& o, const char* name, LiveChannel& c) {
    Reader in{o, std::string(name).append("."), {}};
    int64_t count = 0, time = 0;
    double swr = 0, fullScale = 0;
    bool ok = in.whole("count", 1, kLargestCount, count) &&
              in.whole("time", 0, kLatestEpochMs, time) && in.number("swr", 0, 1e6, swr) &&
              in.number("full_scale", 0, 1e9, fullScale) &&
              in.flag("fifty_watt", c.reading.fiftyWatt) &&
              in.text("scale_code", kMaxShortText, c.scaleCode) &&
              in.text("scale_text", kMaxShortText, c.scaleText) && in.flag("alarm", c.alarm);
    for (const IntField& f : kIntFields) {
        int64_t v = 0;
        ok = ok && in.whole(f.key, f.lo, f.hi, v);
        if (ok) f.set(c.reading, v);
    }
    if (!ok) return in.fault;
    c.count = static_cast<uint64_t>(count);
    c.epochMs = time;
    c.reading.swrValue = static_cast<float>(swr);
    c.reading.fullScalePower = fullScale;
    c.reading.channel.assign(1, name[0] == 'a' ? 'A' : 'B');
    c.reading.textsStale = true;
    return {};
}

// The document of a message no longer than limit, or why not.
std::string objectOf(std::string_view bytes, size_t limit, QJsonObject& out) {
    if (bytes.size() > limit) return "too long";
    QJsonParseError err{};
    const QJsonDocument d = QJsonDocument::fromJson(
        QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), &err);
    if (err.error != QJsonParseError::NoError) return "not JSON";
    if (!d.isObject()) return "not a JSON object";
    out = d.object();
    return {};
}

const char* const kParamKeys[] = {"nFwdMin",   "Delay1",     "Delay2",    "MaxSwrA",
                                  "MaxSwrB",   "ScaleMinA",  "ScaleMaxA", "ScaleMinB",
                                  "ScaleMaxB", "ScaleDelay", "ExpandA",   "ExpandB"};

std::array<double*, 12> paramRefs(BridgeParameters& p) {
    return {&p.nFwdMin, &p.Delay1, nullptr, nullptr, nullptr, nullptr,
            nullptr,    nullptr,   nullptr, nullptr, nullptr, nullptr};
}

std::array<int16_t*, 12> shortParamRefs(BridgeParameters& p) {
    return {nullptr,      nullptr,      &p.Delay2,    &p.MaxSwrA,    &p.MaxSwrB, &p.ScaleMinA,
            &p.ScaleMaxA, &p.ScaleMinB, &p.ScaleMaxB, &p.ScaleDelay, &p.ExpandA, &p.ExpandB};
}

}  // namespace

std::string liveTopic(const MqttSettings& s) { return s.baseTopic + "/" + s.node + "/live"; }
std::string bridgeTopic(const MqttSettings& s) { return s.baseTopic + "/" + s.node + "/bridge"; }

namespace {
auto paramTuple(const BridgeParameters& p) {
    return std::tie(p.nFwdMin, p.Delay1, p.Delay2, p.MaxSwrA, p.MaxSwrB, p.ScaleMinA, p.ScaleMaxA,
                    p.ScaleMinB, p.ScaleMaxB, p.ScaleDelay, p.ExpandA, p.ExpandB);
}
}  // namespace

bool bridgeStateDiffers(const BridgeInfo& b, const BridgeState& st) {
    return b.firmware != st.BridgeFirmwareVersion ||
           paramTuple(b.params) != paramTuple(st.params) || b.scaleCodeA != st.ScaleCodeA ||
           b.scaleCodeB != st.ScaleCodeB || b.scaleTextA != st.ScaleTextA ||
           b.scaleTextB != st.ScaleTextB;
}

bool sameBridgeInfo(const BridgeInfo& x, const BridgeInfo& y) {
    return x.firmware == y.firmware && paramTuple(x.params) == paramTuple(y.params) &&
           x.scaleCodeA == y.scaleCodeA && x.scaleCodeB == y.scaleCodeB &&
           x.scaleTextA == y.scaleTextA && x.scaleTextB == y.scaleTextB &&
           x.descriptionA == y.descriptionA && x.descriptionB == y.descriptionB;
}

BridgeInfo bridgeInfoOf(const BridgeState& b) {
    BridgeInfo out;
    out.firmware = b.BridgeFirmwareVersion;
    out.params = b.params;
    out.scaleCodeA = b.ScaleCodeA;
    out.scaleCodeB = b.ScaleCodeB;
    out.scaleTextA = b.ScaleTextA;
    out.scaleTextB = b.ScaleTextB;
    return out;
}

void copyReadingNumbers(const ChannelReading& from, ChannelReading& to) {
    for (const IntField& f : kIntFields) f.set(to, f.get(from));
    to.swrValue = from.swrValue;
    to.fullScalePower = from.fullScalePower;
    to.fiftyWatt = from.fiftyWatt;
    to.textsStale = true;
}

std::string livePayload(const LiveMessage& m) {
    QJsonObject o;
    if (m.ch[0].count) o["a"] = channelJson(m.ch[0]);
    if (m.ch[1].count) o["b"] = channelJson(m.ch[1]);
    return compactJson(o);
}

std::string bridgePayload(const BridgeInfo& b) {
    BridgeParameters p = b.params;
    const auto wide = paramRefs(p);
    const auto narrow = shortParamRefs(p);
    QJsonObject params;
    for (size_t i = 0; i < 12; ++i)
        params[kParamKeys[i]] = wide[i] ? *wide[i] : static_cast<double>(*narrow[i]);
    auto pair = [](const std::array<std::string, 2>& t) { return QJsonArray{q(t[0]), q(t[1])}; };
    return compactJson(QJsonObject{
        {"firmware", q(b.firmware)},
        {"params", params},
        {"scale_codes_a", pair(b.scaleCodeA)},
        {"scale_codes_b", pair(b.scaleCodeB)},
        {"scale_texts_a", pair(b.scaleTextA)},
        {"scale_texts_b", pair(b.scaleTextB)},
        {"description_a", q(b.descriptionA)},
        {"description_b", q(b.descriptionB)},
    });
}

std::string parseLive(std::string_view bytes, LiveMessage& out) {
    QJsonObject o;
    if (std::string why = objectOf(bytes, kMaxLiveBytes, o); !why.empty()) return why;
    LiveMessage m;
    bool any = false;
    for (size_t i = 0; i < 2; ++i) {
        const char* name = i == 0 ? "a" : "b";
        const auto it = o.constFind(QLatin1String(name));
        if (it == o.constEnd()) continue;
        if (!it->isObject()) return std::string("not an object: ").append(name);
        if (std::string why = readChannel(it->toObject(), name, m.ch[i]); !why.empty()) return why;
        any = true;
    }
    if (!any) return "no channel";
    out = std::move(m);
    return {};
}

std::string parseBridge(std::string_view bytes, BridgeInfo& out) {
    QJsonObject o;
    if (std::string why = objectOf(bytes, kMaxBridgeBytes, o); !why.empty()) return why;
    BridgeInfo b;
    Reader in{o, "", {}};
    bool ok = in.text("firmware", kMaxShortText, b.firmware) &&
              in.texts("scale_codes_a", kMaxShortText, b.scaleCodeA) &&
              in.texts("scale_codes_b", kMaxShortText, b.scaleCodeB) &&
              in.texts("scale_texts_a", kMaxShortText, b.scaleTextA) &&
              in.texts("scale_texts_b", kMaxShortText, b.scaleTextB) &&
              in.text("description_a", kMaxDescription, b.descriptionA) &&
              in.text("description_b", kMaxDescription, b.descriptionB);
    if (!ok) return in.fault;
    const auto it = o.constFind(QLatin1String("params"));
    if (it == o.constEnd()) return "missing params";
    if (!it->isObject()) return "not an object: params";
    const QJsonObject po = it->toObject();
    Reader pr{po, "params.", {}};
    const auto wide = paramRefs(b.params);
    const auto narrow = shortParamRefs(b.params);
    for (size_t i = 0; i < 12; ++i) {
        if (wide[i]) {
            if (!pr.number(kParamKeys[i], -1e9, 1e9, *wide[i])) return pr.fault;
        } else {
            int64_t v = 0;
            if (!pr.whole(kParamKeys[i], kI16Lo, kI16Hi, v)) return pr.fault;
            *narrow[i] = static_cast<int16_t>(v);
        }
    }
    out = std::move(b);
    return {};
}

}  // namespace quellon
