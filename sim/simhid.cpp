#include "simhid.h"

#include "identity.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <unordered_set>

namespace {

constexpr char kPath[] = "/dev/hidraw-orvsim";
constexpr wchar_t kSerial[] = L"ORVSIM1";
constexpr std::size_t kReportLength = 64; // the model's reports are padded to this

struct InFlight
{
    const char *function;
    std::thread::id thread;
    std::uint64_t token;
};

} // namespace

// Handles are never freed, so a stale pointer from the program can still be inspected safely.
struct hid_device_
{
    unsigned id = 0;
    unsigned generation = 0; // reset() retires older handles
    unsigned epoch = 0;      // unplug() kills handles of older epochs
    bool closed = false;
    bool nonblocking = false;
    std::vector<InFlight> inFlight;
};

namespace {

using steady = std::chrono::steady_clock;

struct State
{
    std::mutex m;

    bool plugged = true;
    std::vector<std::pair<std::string, std::string>> others; // listed, never opened
    unsigned epoch = 1;
    bool openRefused = false;
    std::size_t readsFailing = 0;
    std::chrono::microseconds callDelay{0};

    OrvModel model;
    simhid::Clock clock = simhid::Clock::Manual;
    steady::time_point lastSync;
    double carryMs = 0;

    bool logging = true;
    std::vector<simhid::Call> log;
    std::vector<std::array<std::uint8_t, 7>> writes;
    std::vector<std::string> violations;

    std::vector<std::unique_ptr<hid_device_>> handles;
    std::unordered_set<const hid_device *> known;
    unsigned generation = 1;
    unsigned nextId = 1;
    std::uint64_t nextToken = 1;
    std::unordered_set<const hid_device_info *> enumerations;
};

// Never destroyed: the program may still call in while static destructors run.
State &st()
{
    static State *s = new State;
    return *s;
}

std::string describe(const hid_device *dev)
{
    return "handle #" + std::to_string(dev->id);
}

void violation(State &s, std::string text)
{
    s.violations.push_back(std::move(text));
}

void record(State &s, const char *fn, int result)
{
    if (s.logging)
        s.log.push_back({fn, std::this_thread::get_id(), result, steady::now()});
}

void syncClock(State &s)
{
    if (s.clock != simhid::Clock::RealTime)
        return;
    const auto t = steady::now();
    const std::chrono::duration<double, std::milli> elapsed = t - s.lastSync;
    s.lastSync = t;
    s.carryMs += elapsed.count();
    const double whole = std::floor(s.carryMs);
    s.carryMs -= whole;
    s.model.advance(std::chrono::milliseconds(static_cast<std::int64_t>(whole)));
}

bool touchesDevice(const char *fn)
{
    return std::strcmp(fn, "hid_read") == 0 || std::strcmp(fn, "hid_write") == 0 ||
           std::strcmp(fn, "hid_close") == 0;
}

// Checks that `dev` may be used at all; caller holds the lock.
bool usable(State &s, const char *fn, const hid_device *dev)
{
    if (!dev) {
        violation(s, std::string(fn) + " with a null handle");
        return false;
    }
    if (!s.known.count(dev)) {
        violation(s, std::string(fn) + " with a pointer that hid_open never returned");
        return false;
    }
    if (dev->generation != s.generation) {
        violation(s, std::string(fn) + " on " + describe(dev) + " opened before reset()");
        return false;
    }
    if (dev->closed) {
        violation(s, std::strcmp(fn, "hid_close") == 0
                         ? "hid_close twice on " + describe(dev)
                         : std::string(fn) + " on " + describe(dev) + " after hid_close");
        return false;
    }
    return true;
}

// Marks a call as running on a handle for its whole duration, without holding the lock
// meanwhile, so that a call from another thread arriving in between is seen.
class Flight
{
public:
    // Lock held by the caller.
    Flight(State &s, const char *fn, hid_device *dev) : dev_(dev), token_(s.nextToken++)
    {
        const auto self = std::this_thread::get_id();
        for (const InFlight &other : dev->inFlight) {
            if (other.thread == self)
                continue;
            if (touchesDevice(fn) || touchesDevice(other.function))
                violation(s, std::string(fn) + " on " + describe(dev) + " overlaps " +
                                 other.function + " from another thread");
        }
        dev->inFlight.push_back({fn, self, token_});
    }
    // Lock held by the caller.
    ~Flight()
    {
        auto &v = dev_->inFlight;
        v.erase(std::remove_if(v.begin(), v.end(),
                               [this](const InFlight &f) { return f.token == token_; }),
                v.end());
    }
    Flight(const Flight &) = delete;
    Flight &operator=(const Flight &) = delete;

private:
    hid_device *dev_;
    std::uint64_t token_;
};

void pause(std::chrono::microseconds d)
{
    if (d.count() > 0)
        std::this_thread::sleep_for(d);
}

bool alive(const State &s, const hid_device *dev)
{
    return s.plugged && dev->epoch == s.epoch && !dev->closed;
}

} // namespace

// ---- hidapi entry points: those the program calls ----

int HID_API_EXPORT HID_API_CALL hid_exit(void)
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    record(s, "hid_exit", 0);
    return 0;
}

struct hid_device_info HID_API_EXPORT *HID_API_CALL hid_enumerate(unsigned short vendor_id,
                                                                  unsigned short product_id)
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    const bool match = (vendor_id == 0 || vendor_id == orv::kVendorId) &&
                       (product_id == 0 || product_id == orv::kProductId);
    std::vector<std::pair<std::string, std::wstring>> listed;
    if (s.plugged)
        listed.emplace_back(kPath, kSerial);
    for (const auto &[path, serial] : s.others)
        listed.emplace_back(path, std::wstring(serial.begin(), serial.end()));
    hid_device_info *info = nullptr;
    for (auto it = listed.rbegin(); match && it != listed.rend(); ++it) {
        auto *entry = static_cast<hid_device_info *>(std::calloc(1, sizeof(hid_device_info)));
        if (!entry)
            break;
        entry->path = strdup(it->first.c_str());
        entry->serial_number =
            static_cast<wchar_t *>(std::calloc(it->second.size() + 1, sizeof(wchar_t)));
        if (entry->serial_number)
            std::wmemcpy(entry->serial_number, it->second.c_str(), it->second.size());
        entry->vendor_id = orv::kVendorId;
        entry->product_id = orv::kProductId;
        entry->next = info;
        info = entry;
    }
    if (info)
        s.enumerations.insert(info);
    record(s, "hid_enumerate", info ? 1 : 0);
    return info;
}

void HID_API_EXPORT HID_API_CALL hid_free_enumeration(struct hid_device_info *devs)
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    record(s, "hid_free_enumeration", 0);
    if (!devs)
        return;
    if (!s.enumerations.erase(devs)) {
        violation(s, "hid_free_enumeration of a list that is not live (freed twice?)");
        return;
    }
    while (devs) {
        hid_device_info *next = devs->next;
        std::free(devs->path);
        std::free(devs->serial_number);
        std::free(devs);
        devs = next;
    }
}

namespace {

// A refused open fails as the kernel refuses a node the user may not read: EACCES.
hid_device *openDevice(State &s, bool match, const char *function)
{
    hid_device *dev = nullptr;
    if (s.plugged && !s.openRefused && match) {
        auto h = std::make_unique<hid_device_>();
        h->id = s.nextId++;
        h->generation = s.generation;
        h->epoch = s.epoch;
        dev = h.get();
        s.known.insert(dev);
        s.handles.push_back(std::move(h));
    }
    record(s, function, dev ? 0 : -1);
    if (!dev)
        errno = s.plugged && match ? EACCES : ENOENT;
    return dev;
}

} // namespace

// Opened by its IDs alone, as the window does.
HID_API_EXPORT hid_device *HID_API_CALL hid_open(unsigned short vendor_id,
                                                 unsigned short product_id,
                                                 const wchar_t *serial_number)
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    return openDevice(
        s, vendor_id == orv::kVendorId && product_id == orv::kProductId && !serial_number,
        "hid_open");
}

HID_API_EXPORT hid_device *HID_API_CALL hid_open_path(const char *path)
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    // The other ORVs are listed only: opening one fails as a node the user may not open.
    for (const auto &other : s.others)
        if (path && other.first == path) {
            record(s, "hid_open_path", -1);
            errno = EACCES;
            return nullptr;
        }
    return openDevice(s, path && std::strcmp(path, kPath) == 0, "hid_open_path");
}

int HID_API_EXPORT HID_API_CALL hid_set_nonblocking(hid_device *dev, int nonblock)
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    if (!usable(s, "hid_set_nonblocking", dev)) {
        record(s, "hid_set_nonblocking", -1);
        return -1;
    }
    Flight flight(s, "hid_set_nonblocking", dev);
    dev->nonblocking = nonblock != 0;
    record(s, "hid_set_nonblocking", 0);
    return 0;
}

int HID_API_EXPORT HID_API_CALL hid_read(hid_device *dev, unsigned char *data, size_t length)
{
    State &s = st();
    std::unique_lock<std::mutex> lock(s.m);
    if (!usable(s, "hid_read", dev) || !data) {
        if (!data)
            violation(s, "hid_read with a null buffer");
        record(s, "hid_read", -1);
        return -1;
    }
    if (length < 6)
        violation(s, "hid_read with a buffer of " + std::to_string(length) +
                         " bytes, shorter than a status report");

    Flight flight(s, "hid_read", dev);
    const auto delay = s.callDelay;
    lock.unlock();
    pause(delay);
    lock.lock();

    int result = 0;
    syncClock(s);
    OrvModel::Queued q;
    if (!alive(s, dev) || s.readsFailing) {
        if (alive(s, dev))
            --s.readsFailing;
        result = -1;
    } else if (s.model.takeNext(q)) {
        if (!q.injected)
            q.bytes.resize(kReportLength, 0);
        const std::size_t n = std::min(length, q.bytes.size());
        std::copy_n(q.bytes.begin(), n, data);
        result = static_cast<int>(n);
    } else if (!dev->nonblocking) {
        // The real call would block until a report comes; here nothing ever would.
        violation(s, "hid_read blocking on " + describe(dev) +
                         " with no report queued (set_nonblocking missing?)");
    }
    record(s, "hid_read", result);
    return result;
}

int HID_API_EXPORT HID_API_CALL hid_write(hid_device *dev, const unsigned char *data, size_t length)
{
    State &s = st();
    std::unique_lock<std::mutex> lock(s.m);
    if (!usable(s, "hid_write", dev) || !data) {
        if (!data)
            violation(s, "hid_write with a null buffer");
        record(s, "hid_write", -1);
        return -1;
    }
    if (length != 7)
        violation(s, "hid_write of " + std::to_string(length) + " bytes instead of 7");
    if (length > 0 && data[0] != 0)
        violation(s, "hid_write with report ID " + std::to_string(data[0]) + " instead of 0");

    Flight flight(s, "hid_write", dev);
    const auto delay = s.callDelay;
    lock.unlock();
    pause(delay);
    lock.lock();

    int result = -1;
    // A longer write still carries the message in its first bytes; a shorter or
    // mis-addressed one never reaches the device.
    if (alive(s, dev) && length >= 7 && data[0] == 0) {
        syncClock(s);
        s.model.receive(data + 1);
        std::array<std::uint8_t, 7> w;
        std::copy_n(data, 7, w.begin());
        s.writes.push_back(w);
        result = static_cast<int>(length);
    }
    record(s, "hid_write", result);
    return result;
}

void HID_API_EXPORT HID_API_CALL hid_close(hid_device *dev)
{
    State &s = st();
    std::unique_lock<std::mutex> lock(s.m);
    if (!dev) { // hidapi ignores a null handle too
        record(s, "hid_close", 0);
        return;
    }
    if (!usable(s, "hid_close", dev)) {
        record(s, "hid_close", -1);
        return;
    }
    {
        Flight flight(s, "hid_close", dev);
        const auto delay = s.callDelay;
        lock.unlock();
        pause(delay);
        lock.lock();
    }
    dev->closed = true;
    record(s, "hid_close", 0);
}

// ---- control API ----

namespace simhid {

void reset()
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    s.plugged = true;
    s.others.clear();
    ++s.epoch;
    ++s.generation;
    s.openRefused = false;
    s.readsFailing = 0;
    s.callDelay = std::chrono::microseconds(0);
    s.model = OrvModel();
    s.clock = Clock::Manual;
    s.carryMs = 0;
    s.logging = true;
    s.log.clear();
    s.writes.clear();
    s.violations.clear();
}

void plug()
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    s.plugged = true;
}

void addOtherOrv(const std::string &path, const std::string &serial)
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    s.others.emplace_back(path, serial);
}

void unplug()
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    if (!s.plugged)
        return;
    s.plugged = false;
    ++s.epoch;
    // Whatever was on its way to the host goes with the device node.
    s.model.clearPending();
}

void setOpenRefused(bool refused)
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    s.openRefused = refused;
}

void failNextReads(std::size_t count)
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    s.readsFailing = count;
}

void setCallDelay(std::chrono::microseconds delay)
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    s.callDelay = delay;
}

void injectReport(const std::vector<std::uint8_t> &bytes)
{
    flood(1, bytes);
}

void flood(std::size_t count, const std::vector<std::uint8_t> &bytes)
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    for (std::size_t i = 0; i < count; ++i)
        s.model.queueRaw(bytes.data(), bytes.size());
}

OrvModel &model()
{
    return st().model;
}

void withModel(const std::function<void(OrvModel &)> &fn)
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    fn(s.model);
}

void advance(std::chrono::milliseconds dt)
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    s.model.advance(dt);
}

void setClock(Clock mode)
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    s.clock = mode;
    s.lastSync = steady::now();
    s.carryMs = 0;
}

std::vector<Call> calls()
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    return s.log;
}

std::size_t callCount(const std::string &function)
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    return static_cast<std::size_t>(std::count_if(
        s.log.begin(), s.log.end(), [&](const Call &c) { return c.function == function; }));
}

std::vector<std::array<std::uint8_t, 7>> writes()
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    return s.writes;
}

std::vector<std::string> violations()
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    return s.violations;
}

std::size_t openHandles()
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    return static_cast<std::size_t>(
        std::count_if(s.handles.begin(), s.handles.end(),
                      [&](const auto &h) { return h->generation == s.generation && !h->closed; }));
}

std::size_t liveEnumerations()
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    return s.enumerations.size();
}

void setLogging(bool on)
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    s.logging = on;
}

std::vector<std::array<std::uint8_t, 7>> takeWrites()
{
    State &s = st();
    std::lock_guard<std::mutex> lock(s.m);
    std::vector<std::array<std::uint8_t, 7>> out;
    out.swap(s.writes);
    return out;
}

} // namespace simhid
