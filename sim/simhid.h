// Control side of a stand-in for the hidapi library. Linking orvsim_hidapi instead of
// libhidapi routes every hid_* call of the unchanged program to one simulated ORV, and this
// API lets a test plug it, break it, feed it and inspect what the program did with it.
//
// The hid_* functions are safe to call from any thread. The control functions are too,
// except model(), which hands out the model unguarded: use it only while no program thread
// is calling hid_*, and withModel() otherwise.
#pragma once

#include "orvmodel.h"

#include <hidapi.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace simhid {

struct Call
{
    std::string function; // "hid_write", "hid_read", ...
    std::thread::id thread;
    int result = 0;                           // hid_open: 0 or -1; hid_enumerate: entries listed
    std::chrono::steady_clock::time_point at; // when the call returned
};

enum class Clock
{
    Manual,   // the model's time moves only through advance()
    RealTime, // each hid_read and hid_write moves it by the steady_clock time elapsed
};

// Back to a fresh state: plugged, manual clock, default model, empty logs, no faults.
// Handles opened before count as stale afterwards.
void reset();

void plug();
void unplug(); // drops unread reports; open handles stay dead even after a later plug()
// Another ORV listed after this one (whose serial number is ORVSIM1), which refuses to open.
void addOtherOrv(const std::string &path, const std::string &serial);
void setOpenRefused(bool refused);
void failNextReads(std::size_t count);              // of the open handle, then reads work again
void setCallDelay(std::chrono::microseconds delay); // inside hid_read, hid_write, hid_close

// Queued behind whatever the model already has to say, as given (at most 64 bytes).
void injectReport(const std::vector<std::uint8_t> &bytes);
void flood(std::size_t count, const std::vector<std::uint8_t> &bytes);

OrvModel &model();
void withModel(const std::function<void(OrvModel &)> &fn);
void advance(std::chrono::milliseconds dt);
void setClock(Clock mode);

std::vector<Call> calls();
std::size_t callCount(const std::string &function);
std::vector<std::array<std::uint8_t, 7>> writes(); // reports that reached the device
std::vector<std::string> violations();
std::size_t openHandles();      // opened and not yet closed
std::size_t liveEnumerations(); // hid_enumerate lists not yet freed
void setLogging(bool on);       // the call log only; violations are always kept
// Hands over the writes and empties their record, so that a long run can check them slice by
// slice without it growing.
std::vector<std::array<std::uint8_t, 7>> takeWrites();

} // namespace simhid
