#pragma once
// Vel files side by side: -compare lines several files up second by second
// and, with a reference (-ref), sorts the seconds into driving classes;
// -merge joins the heading of one file with the speed of another.
#include <cstdint>

#include "analysis/core/options.h"

namespace navsift {

// The driving classes in their fixed order; None for a second that gets no
// class (the first moving second).
enum class DrivingClass { Straight = 0, Turning = 1, Accelerating = 2, Stop = 3, None = 4 };
constexpr int kDrivingClasses = 4;
const char* DrivingClassName(DrivingClass c);

// Sorts the seconds of a drive by the reference's speed (km/h) and heading
// (degrees). A turn starts at a heading change above `hth` degrees in one
// second and lasts until more than `turntime` quiet seconds in a row have
// passed. Heading changes are measured the short way round, so crossing
// north is no turn. A second whose speed, or whose heading while moving,
// the reference did not tell (NaN) gets no class and changes nothing: it
// is no second of standing still.
class DrivingClassifier {
public:
    DrivingClassifier(int32_t hth, int32_t turntime, int32_t vth) : hth_(hth), turntime_(turntime), vth_(vth) {}
    DrivingClass Classify(double speed, double heading);

private:
    int32_t hth_, turntime_, vth_;
    bool turning_ = false;
    int32_t quiet_ = 0;
    double previous_heading_ = 0;
    bool first_moving_ = true;
};

// The heading change between two headings in degrees, 0 to 180.
double HeadingChange(double from, double to);

// -compare FOLDER [-ref FILE -hth N -turntime N -vth N]. 0, 1 when the
// comparison failed or found no common range, 2 on a usage error.
int compare_dispatch(const OptionRecord& o);

// -merge -heading FILE -speed FILE -out PREFIX. Same statuses.
int vel_merge(const OptionRecord& o);

}  // namespace navsift
