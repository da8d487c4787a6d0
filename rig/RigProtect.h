#pragma once
// Unkeys the transmitter when an SWR alarm starts ([Rig] Protect=1): the rig's
// PTT is set off through the rig client (never on), and the event - channel,
// frequency, SWR, forward power, how long it took from the alarm's first high
// frame - is shown in the rig's status and appended to the journal. A rig
// that cannot be reached is said loudly: the status turns to "PTT OFF FAILED"
// and takeFailure() hands the text to the window once; the alarm's own banner
// and sound do not depend on any of this.

#include <cstdint>
#include <mutex>
#include <string>

#include "alarm/AlarmMonitor.h"
#include "rig/RigClient.h"

namespace quellon::rig {

class RigProtect : public alarm::AlarmSubscriber {
public:
    RigProtect(RigClient& client, std::string journalPath);
    ~RigProtect() override;
    RigProtect(const RigProtect&) = delete;
    RigProtect& operator=(const RigProtect&) = delete;

    void onAlarm(const alarm::AlarmEvent& e, int64_t epochMs) override;

    // The last event's line ("" before the first), for the status areas.
    std::string lastEvent() const;
    // The text of a failure not yet shown, once; "" when there is none.
    std::string takeFailure();
    // Events answered (done or failed): tests wait for it.
    uint64_t answered() const;

    // One journal line; epochMs stamps it in local time.
    static std::string eventLine(int64_t epochMs, const alarm::AlarmEvent& e, const RigTag& tag,
                                 const PttResult& r);

private:
    void journal(const std::string& line);

    RigClient& client_;
    const std::string journalPath_;
    mutable std::mutex m_;
    std::string last_, failure_;
    uint64_t answered_ = 0;
    uint64_t asked_ = 0;  // requests made; the destructor waits for their answers
};

}  // namespace quellon::rig
