// dwtool dyno BIKE: the engine on a stand. The bike is built in a fresh
// physics world with its frame held fixed to the world and no ground, so the
// engine drives only the free rear wheel. At full throttle with the clutch
// engaged it runs up through the gears (automatic shifting at the bike's own
// engine speeds, or an upshift whenever the engine passes a given speed),
// printing the engine speed and torque at intervals; then the torque curve
// summary (peak and cut) and, for each gear, the road speed at the cut engine
// speed worked out from the gearing, beside the fastest the run reached.
// A drum inertia on the rear axle (--drum) slows the run down to something
// like a ride: the bike's own mass seen through the rear tyre is about
// total mass x outer radius^2, some 12 slug ft^2.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dwtool/commands.h"
#include "frame/game.h"
#include "sim/bike.h"
#include "sim/drivetrain.h"
#include "sim/world.h"

namespace {

constexpr double mph_per_ft_s = 0.6818182;

struct dyno_options {
    const char* bike;
    double shift_rpm;  // 0: automatic shifting at the bike's speeds
    double seconds;    // longest run
    double every;      // print interval
    bool free_rev;     // clutch lever pulled: the engine alone
    double drum;       // slug ft^2 added to the rear wheel about its axle (a dyno drum)
};

bool parse_number(const char* text, double* out) {
    char* end = nullptr;
    double v = strtod(text, &end);
    if (end == text || *end || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

bool parse(int argc, char** argv, dyno_options* o) {
    *o = dyno_options{nullptr, 0, 30, 0.25, false, 0};
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        bool has_value = i + 1 < argc;
        if (strcmp(a, "--shift") == 0 && has_value) {
            const char* v = argv[++i];
            if (strcmp(v, "auto") == 0)
                o->shift_rpm = 0;
            else if (!parse_number(v, &o->shift_rpm) || o->shift_rpm <= 0)
                return false;
        } else if (strcmp(a, "--time") == 0 && has_value) {
            if (!parse_number(argv[++i], &o->seconds) || o->seconds <= 0 || o->seconds > 600) return false;
        } else if (strcmp(a, "--every") == 0 && has_value) {
            if (!parse_number(argv[++i], &o->every) || o->every < tick_length) return false;
        } else if (strcmp(a, "--drum") == 0 && has_value) {
            if (!parse_number(argv[++i], &o->drum) || o->drum < 0 || o->drum > 1e4) return false;
        } else if (strcmp(a, "--free") == 0) {
            o->free_rev = true;
        } else if (a[0] == '-' && a[1] == '-') {
            return false;
        } else if (!o->bike) {
            o->bike = a;
        } else {
            return false;
        }
    }
    return o->bike != nullptr;
}

double outer_radius(const bike_state* b) {
    return b->wheels[bike_wheel_rear].ring_radius + b->wheels[bike_wheel_rear].section_radius;
}

// Overall ratio of gear g.
double gear_ratio(const bike_state* b, int g) {
    return b->spec.gear_ratio[g] * (double)b->spec.primary_ratio * b->drivetrain.final_drive;
}

// The full-throttle curve as the engine reads it, scanned every 10 rpm: its
// peak and the first engine speed above the peak at which it falls to 0.
void curve_summary(const bike_spec* s, double* peak, double* peak_rpm, double* cut_rpm) {
    const int top = (bike_curve_points - 1) * bike_curve_step_rpm;
    *peak = -1e9;
    *peak_rpm = 0;
    for (int rpm = 0; rpm <= top; rpm += 10) {
        double t = engine_torque(s, rpm, 1);
        if (t > *peak + 1e-9) {
            *peak = t;
            *peak_rpm = rpm;
        }
    }
    *cut_rpm = top;
    for (int rpm = (int)*peak_rpm; rpm <= top; rpm += 10)
        if (engine_torque(s, rpm, 1) <= 0) {
            *cut_rpm = rpm;
            break;
        }
}

void run(bike_state* b, const dyno_options& o) {
    const bike_spec& s = b->spec;
    double radius = outer_radius(b);

    // On the stand: the frame fixed to the world, the rider off and still.
    dJointID stand = dJointCreateFixed(g_world, nullptr);
    dJointAttach(stand, b->bodies[bike_body_frame], nullptr);
    dJointSetFixed(stand);
    bike_rider_detach(b);
    dBodyDisable(b->bodies[bike_body_rider]);
    b->options &= (unsigned char)~bike_option_auto_shift;  // the stand has no load on the shock: shift here
    b->controls.throttle = 1;
    b->controls.clutch = o.free_rev ? 0 : 1;
    b->controls.gear = 0;
    if (o.drum > 0) {
        dBodyID wheel = b->bodies[bike_body_rear_wheel];
        dMass m;
        dBodyGetMass(wheel, &m);
        m.I[0] += o.drum;  // about the axle, the wheel's x axis
        dBodySetMass(wheel, &m);
    }

    printf("dyno %s: engine on a stand, full throttle, %s, %s\n", s.name,
           o.free_rev ? "clutch lever pulled" : "clutch engaged",
           o.free_rev ? "no shifting"
           : o.shift_rpm > 0 ? "upshift above the shift speed"
                             : "automatic shifting");
    printf("gearing: primary %.5g, sprockets %g/%g (final drive %.6g), rear tyre outer radius %.6g ft\n",
           (double)s.primary_ratio, (double)s.front_teeth, (double)s.rear_teeth, b->drivetrain.final_drive, radius);
    if (o.drum > 0) printf("drum: %g slug ft^2 on the rear axle\n", o.drum);
    if (!o.free_rev && o.shift_rpm > 0)
        printf("shift speed: %.0f rpm\n", o.shift_rpm);
    else if (!o.free_rev)
        printf("automatic shifting: down below %.0f rpm, up above %.0f rpm\n", (double)s.shift_down_rpm,
               (double)s.shift_up_rpm);
    printf("\n%8s %5s %7s %8s %7s %10s\n", "time s", "gear", "rpm", "lbf ft", "clutch", "wheel mph");

    const int ticks = (int)std::lround(o.seconds * ticks_per_second);
    const int every = (int)std::lround(o.every * ticks_per_second);
    double top_torque = -1e9, top_torque_rpm = 0, top_rpm = 0;
    double gear_top_mph[bike_gear_slots] = {0};
    double settled_rpm = 0;
    int settled_since = 0;
    int tick = 0;
    for (; tick <= ticks; tick++) {
        double rear_rate = dJointGetHingeAngleRate(b->joints[bike_joint_rear_axle]);
        if (!o.free_rev && tick % 32 == 0) {
            if (o.shift_rpm > 0) {
                double wheel_rpm = gear_ratio(b, b->controls.gear) * rear_rate * drivetrain_rpm_per_rad_s;
                if (wheel_rpm > o.shift_rpm)
                    b->controls.gear = drivetrain_valid_gear(&s, b->controls.gear + 1);
            } else {
                b->controls.gear = drivetrain_auto_gear(b, rear_rate);
            }
        }
        drivetrain_step(b, tick);
        double rpm = drivetrain_rpm(b);
        double mph = rear_rate * radius * mph_per_ft_s;
        if (mph > -0.05 && mph < 0.05) mph = 0;  // no "-0.0"
        const bike_drivetrain& d = b->drivetrain;
        if (tick % every == 0)
            printf("%8.3f %5d %7.0f %8.2f %7.2f %10.1f\n", tick * tick_length, b->controls.gear + 1, rpm,
                   d.engine_torque, d.clutch_engagement, mph);
        if (d.engine_torque > top_torque) {
            top_torque = d.engine_torque;
            top_torque_rpm = rpm;
        }
        if (rpm > top_rpm) top_rpm = rpm;
        if (mph > gear_top_mph[b->controls.gear]) gear_top_mph[b->controls.gear] = mph;
        physics_world_step(tick_length);

        // Done once the engine has stopped gaining speed in its last gear for a second.
        bool last_gear = o.free_rev || b->controls.gear == drivetrain_valid_gear(&s, bike_gear_slots - 1);
        if (!last_gear) {
            settled_rpm = 0;
            settled_since = tick;
        } else if (rpm > settled_rpm + 1) {
            settled_rpm = rpm;
            settled_since = tick;
        } else if (tick - settled_since >= ticks_per_second) {
            break;
        }
    }

    double peak, peak_rpm, cut_rpm;
    curve_summary(&s, &peak, &peak_rpm, &cut_rpm);
    printf("\ntorque curve at full throttle: peak %.2f lbf ft at %.0f rpm; falls to 0 at %.0f rpm\n", peak, peak_rpm,
           cut_rpm);
    printf("run of %.2f s: highest torque %.2f lbf ft at %.0f rpm; highest engine speed %.0f rpm\n",
           (tick > ticks ? ticks : tick) * tick_length, top_torque, top_torque_rpm, top_rpm);
    printf("\nroad speed at %.0f rpm (rear tyre outer radius %.6g ft):\n", cut_rpm, radius);
    double cut_speed = cut_rpm / drivetrain_rpm_per_rad_s;  // rad/s
    for (int g = 0; g < bike_gear_slots; g++) {
        if (!(s.gear_ratio[g] > 0)) continue;  // no such gear
        double n = gear_ratio(b, g);
        double mph = cut_speed / n * radius * mph_per_ft_s;
        printf("gear %d: ratio %.5g, overall %.5g, %.1f mph", g + 1, (double)s.gear_ratio[g], n, mph);
        if (!o.free_rev) printf(" (run: %.1f mph)", gear_top_mph[g]);
        printf("\n");
    }
    dJointDestroy(stand);
}

}  // namespace

int cmd_dyno(int argc, char** argv) {
    dyno_options o;
    if (!parse(argc, argv, &o)) return dwtool_usage("dyno");
    const bike_spec* found = bike_find(o.bike);
    if (!found)
        printf("bike '%s' is not in the catalogue: using '%s' instead\n", o.bike, bike_substitute(o.bike)->name);
    bool own_world = !g_world;
    if (own_world && !physics_world_create()) {
        fprintf(stderr, "dwtool dyno: the physics library can't be used (see the log)\n");
        return 1;
    }
    bike_state* b = bike_create(o.bike, 0, "", nullptr);
    if (!b) {
        if (own_world) physics_world_destroy();
        fprintf(stderr, "dwtool dyno: can't build the bike\n");
        return 1;
    }
    run(b, o);
    bike_destroy(b);
    if (own_world) physics_world_destroy();
    return 0;
}
