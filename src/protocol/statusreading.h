// A status report as a user is shown it: the one decoder both programs read reports through.
#pragma once

#include "settingtable.h"

#include <cstdint>
#include <optional>

namespace orv {

struct Reading
{
    std::uint8_t code = 0;
    const Setting *setting = nullptr; // the setting the report carries, if any
    // What the window shows: a setting's value brought into its range, the battery level,
    // charging (1) or not, the series' state, the signed shot number. Nothing where the report
    // says nothing the window can show: an LED duty outside the table, an unknown code.
    std::optional<std::int32_t> value;
    // The ORV's own figure (for the LED, its PWM duty), set only where it is not what is shown.
    std::optional<std::int64_t> reported;
    report::Version version{}; // StatusFirmware
};

// `status` points at a whole, valid 6-byte status report.
Reading read(const std::uint8_t *status, const LedBrightnessTable &leds);

// What the series' state says, for each program to word in its own language.
enum class SeriesStep
{
    Inactive,
    WaitingFirst,
    Exposing, // `exposure` in progress
    Waiting,  // for `exposure`
};
struct SeriesProgress
{
    SeriesStep step;
    std::int64_t exposure = 0; // the exposure meant (Exposing, Waiting)
    int total = 0;             // exposures in the series; 0 when unlimited
};
// From a StatusInterState value, the last shot number reported and the series' length;
// nothing for a state the ORV does not have.
std::optional<SeriesProgress> seriesProgress(int state, std::int32_t shot, int total);

} // namespace orv
