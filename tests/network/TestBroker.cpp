#include "tests/network/TestBroker.h"

#include <fcntl.h>
#include <mosquitto.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quellon::testing {

// Runs a command line in dir, quietly; true on exit status 0.
static bool run(const std::string& dir, const std::string& cmd) {
    const std::string line = "cd '" + dir + "' && " + cmd + " >>tools.log 2>&1";
    return std::system(line.c_str()) == 0;
}

TestBroker::TestBroker(BrokerOptions opt) : opt_(std::move(opt)) {
    port_ = freeLoopbackPort();

    const passwd* pw = getpwuid(getuid());
    std::ostringstream conf;
    // mosquitto started as root would drop to its own user, which cannot read this folder.
    if (pw) conf << "user " << pw->pw_name << "\n";
    if (opt_.persistent)
        conf << "persistence true\npersistence_location " << dir_
             << "/\nautosave_interval 0\nqueue_qos0_messages true\n";
    else conf << "persistence false\n";
    if (opt_.logEveryPacket) conf << "log_type all\n";
    conf << "log_dest stderr\nlistener " << port_ << " 127.0.0.1\n";
    conf << "allow_anonymous " << (opt_.user.empty() ? "true\n" : "false\n");
    if (!opt_.user.empty()) {
        conf << "password_file " << dir_ << "/passwd\n";
        writeFile("passwd", "");
        if (!run(dir_, "mosquitto_passwd -b passwd '" + opt_.user + "' '" + opt_.password + "'"))
            throw std::runtime_error("mosquitto_passwd failed");
    }
    if (opt_.tls) {
        // The broker's certificate signs itself: the clients trust it as their CA.
        const std::string req = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 ";
        if (!run(dir_, req + "-keyout server.key -out ca.crt -subj /CN=localhost "
                             "-addext subjectAltName=DNS:localhost,IP:127.0.0.1") ||
            !run(dir_, req + "-keyout other-ca.key -out other-ca.crt -subj /CN=SomeOtherCA"))
            throw std::runtime_error("openssl failed: " + log());
        conf << "certfile " << dir_ << "/ca.crt\nkeyfile " << dir_ << "/server.key\n";
    }
    writeFile("mosquitto.conf", conf.str());
}

TestBroker::~TestBroker() { kill(); }

std::string TestBroker::writeFile(const std::string& name, const std::string& text) const {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string TestBroker::log() const {
    std::ostringstream out;
    for (const char* f : {"/broker.log", "/tools.log"}) out << std::ifstream(dir_ + f).rdbuf();
    return out.str();
}

bool TestBroker::start() {
    const std::string conf = dir_ + "/mosquitto.conf", logPath = dir_ + "/broker.log";
    pid_ = fork();
    if (pid_ == 0) {
        const int fd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        dup2(fd, 1);
        dup2(fd, 2);
        execlp("mosquitto", "mosquitto", "-c", conf.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto upOrGone = [&] {
        if (waitpid(pid_, nullptr, WNOHANG) != pid_) return portAccepts(port_);
        pid_ = -1;  // died: the log says why
        return true;
    };
    return pid_ > 0 && waitUntil(upOrGone, 10000) && pid_ > 0;
}

void TestBroker::end(int sig) {
    if (pid_ <= 0) return;
    ::kill(pid_, sig);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

Subscriber::Subscriber(const TestBroker& broker, const char* id) {
    mosquitto_lib_init();
    mosq_ = mosquitto_new(id, id == nullptr, this);
    // QoS 0: a message the subscriber already has is never handed to it again. At QoS 1 a
    // message whose acknowledgement had not reached the broker when it was stopped comes
    // back after the restart as if new (the restart test then counted one "online" twice).
    // A session that outlives a restart still queues what arrives while it is away.
    mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void*, int rc) {
        if (rc == 0) mosquitto_subscribe(m, nullptr, "#", 0);
    });
    mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* self, int, int, const int*) {
        auto* s = static_cast<Subscriber*>(self);
        std::lock_guard lk(s->m_);
        s->subscribed_ = true;
    });
    mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* msg) {
        auto* s = static_cast<Subscriber*>(self);
        std::lock_guard lk(s->m_);
        const auto* bytes = static_cast<const char*>(msg->payload);
        s->got_.push_back({msg->topic, std::string(bytes, size_t(msg->payloadlen)), msg->retain});
    });
    mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
    mosquitto_connect(mosq_, "127.0.0.1", broker.port(), 30);
    mosquitto_loop_start(mosq_);
    waitUntil([&] { return subscribed(); }, 10000);
}

Subscriber::~Subscriber() {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, true);
    mosquitto_destroy(mosq_);
}

bool Subscriber::subscribed() const {
    std::lock_guard lk(m_);
    return subscribed_;
}

std::vector<Message> Subscriber::messages() const {
    std::lock_guard lk(m_);
    return got_;
}

std::vector<Message> Subscriber::on(const std::string& topic) const {
    std::vector<Message> out;
    for (Message& m : messages())
        if (m.topic == topic) out.push_back(std::move(m));
    return out;
}

bool Subscriber::waitFor(const std::function<bool(const std::vector<Message>&)>& pred) const {
    return waitUntil([&] { return pred(messages()); }, 20000);
}

bool Subscriber::waitForMessage(const std::string& topic, const char* payload) const {
    return waitFor([&](const std::vector<Message>& ms) {
        for (const Message& m : ms)
            if (m.topic == topic && (!payload || m.payload == payload)) return true;
        return false;
    });
}

MqttSettings stationSettings(const TestBroker& b, const std::string& node, int liveHz) {
    MqttSettings s;
    s.enabled = true;
    s.host = "127.0.0.1";
    s.portText = std::to_string(b.port());
    s.node = node;
    s.intervalText = "200";
    s.liveHzText = std::to_string(liveHz);
    return s;
}

bool publishRaw(const TestBroker& broker, const std::vector<Message>& messages) {
    mosquitto_lib_init();
    mosquitto* m = mosquitto_new(nullptr, true, nullptr);
    int acked = 0;
    mosquitto_user_data_set(m, &acked);
    mosquitto_publish_callback_set(m, [](mosquitto*, void* n, int) { ++*static_cast<int*>(n); });
    bool ok = mosquitto_connect(m, "127.0.0.1", broker.port(), 30) == MOSQ_ERR_SUCCESS;
    for (const Message& msg : messages)
        ok = ok && mosquitto_publish(m, nullptr, msg.topic.c_str(), int(msg.payload.size()),
                                     msg.payload.data(), 1, msg.retained) == MOSQ_ERR_SUCCESS;
    for (int i = 0; ok && acked < int(messages.size()) && i < 500; ++i)
        ok = mosquitto_loop(m, 20, 1) == MOSQ_ERR_SUCCESS;
    mosquitto_disconnect(m);
    mosquitto_destroy(m);
    return ok && acked == int(messages.size());
}

}  // namespace quellon::testing
