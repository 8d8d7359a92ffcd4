// The mechanic: a changed bike setup reaches a bike only while it stands still.
#include <cmath>

#include "base/log.h"
#include "files/config.h"
#include "frame/game.h"
#include "sim/drivetrain.h"
#include "sim/rider.h"
#include "sim/steering.h"
#include "sim/suspension.h"

namespace {

constexpr double standing_speed = 0.125;  // ft/s
constexpr double nag_interval = 10;       // s of game clock between two refusals that show the message
constexpr double mph_to_ft_s = 1.4666667;

double fraction(double percent) {
    double f = percent * 0.01;
    return std::isfinite(f) ? (f < 0 ? 0 : f > 1 ? 1 : f) : 0.5;
}

bool yes(const choice_option& c) { return c.index == 1; }

}  // namespace

bool mechanic_apply(bike_state* b, const bike_setup* s) {
    if (!b || !s) return false;
    const dReal* v = dBodyGetLinearVel(b->bodies[bike_body_frame]);
    double speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (!(speed <= standing_speed)) {
        double now = g_race.game_clock;
        if (now - b->mechanic_refused < nag_interval) message_add("Settings not applied.  Mechanic can't keep up error.\n");
        b->mechanic_refused = now;
        return false;
    }

    steering_apply_setup(b, s);
    b->arcade = yes(s->arcade) && !g_arcade_forbidden ? bike_arcade_physics : 0;
    // Brakes and antilock, stop wheelies, automatic shifting and clutch, sprockets.
    drivetrain_apply_setup(b, s);
    unsigned options = b->options & ~(unsigned)(bike_option_auto_dab | bike_option_auto_align);
    if (yes(s->auto_dab)) options |= bike_option_auto_dab;
    if (yes(s->auto_align)) options |= bike_option_auto_align;
    b->options = (unsigned char)(options | bike_option_steer_in_air);
    double dab = s->max_dab_speed.value * mph_to_ft_s;
    b->stability.max_dab_speed = std::isfinite(dab) ? (dab < 7 ? 7 : dab > 100 ? 100 : dab) : 30;
    suspension_apply_setup(b, s);

    bike_rider_settings& r = b->rider;
    r.vertical_spring = fraction(s->rider_yspring.value);
    r.vertical_damping = fraction(s->rider_ydamping.value);
    r.forward_spring = fraction(s->rider_zspring.value);
    r.forward_damping = fraction(s->rider_zdamping.value);
    bike_set_mass_distribution(b, s->rider_mass_distribution.value);
    return true;
}
