// Engine, clutch, gearbox and brakes.
#include "sim/drivetrain.h"

#include <cmath>

#include "files/config.h"
#include "frame/game.h"

namespace {

constexpr double pi = 3.14159265358979323846;
// The clutch spring winds up by at most the engagement times this (rad).
constexpr double clutch_windup_limit = pi / 4;
// The automatic clutch takes up over this many rpm above its speed.
constexpr double auto_clutch_span = 2000;
constexpr double clutch_damping_limit = 500;  // lbf ft
constexpr double clutch_torque_limit = 1e6;   // lbf ft
// Slip speed (squared, ft^2/s^2) above which antilock frees a brake and
// automatic shifting waits.
constexpr double slip_limit_squared = 4;
constexpr int auto_shift_interval = 32;  // ticks
// Pitch rate (rad/s) above which a bike on its rear wheel counts as wheelieing.
constexpr double wheelie_pitch_rate = -0.03125;

// lo for NaN, otherwise v within lo..hi.
double clamp(double v, double lo, double hi) { return !(v >= lo) ? lo : v > hi ? hi : v; }
double finite_or_zero(double v) { return std::isfinite(v) ? v : 0; }
// A control 0..1; 0 when not finite.
double control(double v) { return clamp(v, 0, 1); }
// An angle wrapped into -pi..pi.
double wrap(double a) { return std::isfinite(a) ? std::remainder(a, 2 * pi) : 0; }

bool touches(const bike_wheel& w) { return w.depth > 0; }
double slip_squared(const bike_wheel& w) {
    const double* v = w.contact_velocity;
    return v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
}
// The wheel touches and slips faster than 2 ft/s.
bool slipping(const bike_wheel& w) { return touches(w) && slip_squared(w) > slip_limit_squared; }

int stop_wheelies(const bike_state* b) {
    return (b->options & bike_option_stop_wheelies_mask) >> bike_option_stop_wheelies_shift;
}

void set_brake(dJointID axle, double torque) {
    dJointSetHingeParam(axle, dParamVel, 0);
    dJointSetHingeParam(axle, dParamFMax, std::isfinite(torque) && torque > 0 ? torque : 0);
}

}  // namespace

// --- The engine --------------------------------------------------------------------------------

double engine_torque(const bike_spec* s, double rpm, double throttle) {
    double i = std::isfinite(rpm) ? clamp(rpm / (double)bike_curve_step_rpm, 0, (double)(bike_curve_points - 1)) : 0;
    int n = (int)i;
    double fr = i - n;
    int n1 = n + 1 < bike_curve_points ? n + 1 : bike_curve_points - 1;
    double closed = s->closed_torque[n] + ((double)s->closed_torque[n1] - s->closed_torque[n]) * fr;
    double open = s->full_torque[n] + ((double)s->full_torque[n1] - s->full_torque[n]) * fr;
    return closed + (open - closed) * control(throttle);
}

double drivetrain_auto_clutch(double rpm, double auto_clutch_rpm, double clutch) {
    clutch = control(clutch);
    if (!std::isfinite(rpm)) rpm = 0;
    if (rpm > auto_clutch_rpm + auto_clutch_span) return clutch;
    double e = clamp((rpm - auto_clutch_rpm) / auto_clutch_span, 0, 1);
    return e < clutch ? e : clutch;
}

double drivetrain_rpm(const bike_state* b) { return b->drivetrain.engine_speed * drivetrain_rpm_per_rad_s; }

double drivetrain_engine_torque(const bike_state* b) {
    double t = engine_torque(&b->spec, drivetrain_rpm(b), b->controls.throttle);
    if ((stop_wheelies(b) & 1) && t > 0 && !touches(b->wheels[bike_wheel_front]) &&
        touches(b->wheels[bike_wheel_rear])) {
        dBodyID frame = b->bodies[bike_body_frame];
        const dReal* w = dBodyGetAngularVel(frame);
        dVector3 local;
        dBodyVectorFromWorld(frame, w[0], w[1], w[2], local);
        if (local[0] > wheelie_pitch_rate) t = 0;  // the front is not coming down
    }
    return t;
}

double drivetrain_ratio(const bike_state* b) {
    const bike_spec& s = b->spec;
    int g = b->controls.gear;
    if (g < 0 || g >= bike_gear_slots || !(s.gear_ratio[g] > 0)) return 0;
    double n = s.gear_ratio[g] * (double)s.primary_ratio * b->drivetrain.final_drive;
    return std::isfinite(n) && n > 0 ? n : 0;
}

// --- Gears -------------------------------------------------------------------------------------

int drivetrain_valid_gear(const bike_spec* s, int g) {
    g = g < 0 ? 0 : g >= bike_gear_slots ? bike_gear_slots - 1 : g;
    while (g > 0 && !(s->gear_ratio[g] > 0)) g--;
    return g;
}

void drivetrain_shift(bike_state* b, int request) {
    if (b->crash_timer > 0) return;
    if (request == b->controls.last_shift || request < -1 || request > 1) return;
    b->controls.last_shift = request;
    b->controls.gear = drivetrain_valid_gear(&b->spec, b->controls.gear + request);
}

int drivetrain_auto_gear(const bike_state* b, double rear_rate) {
    const bike_spec& s = b->spec;
    int g = drivetrain_valid_gear(&s, b->controls.gear);
    double rpm = s.gear_ratio[g] * (double)s.primary_ratio * b->drivetrain.final_drive * rear_rate *
                 drivetrain_rpm_per_rad_s;
    if (rpm < s.shift_down_rpm)
        g--;
    else if (rpm > s.shift_up_rpm)
        g++;
    return drivetrain_valid_gear(&s, g);
}

// --- Per tick ------------------------------------------------------------------------------------

void drivetrain_step(bike_state* b, int tick) {
    const bike_spec& s = b->spec;
    bike_drivetrain& d = b->drivetrain;
    bike_controls& c = b->controls;
    const bike_wheel& front = b->wheels[bike_wheel_front];
    const bike_wheel& rear = b->wheels[bike_wheel_rear];
    if (!std::isfinite(d.engine_speed)) d.engine_speed = 0;
    if (!std::isfinite(d.clutch_windup)) d.clutch_windup = 0;
    dJointID axle = b->joints[bike_joint_rear_axle];
    double rear_angle = finite_or_zero(dJointGetHingeAngle(axle));
    double rear_rate = finite_or_zero(dJointGetHingeAngleRate(axle));

    // Automatic shifting: with the rear suspension loaded, never more than
    // once every 32 ticks, and not while the rear wheel spins on the ground.
    if ((b->options & bike_option_auto_shift) && tick % auto_shift_interval == 0 &&
        dJointGetHingeAngle(b->joints[bike_joint_swingarm]) < -0.01 && !slipping(rear))
        c.gear = drivetrain_auto_gear(b, rear_rate);
    c.gear = drivetrain_valid_gear(&s, c.gear);

    double engine = drivetrain_engine_torque(b);
    double lever = control(c.clutch);
    double e = drivetrain_auto_clutch(drivetrain_rpm(b), b->stability.auto_clutch_rpm, lever);
    double n = drivetrain_ratio(b);
    double inertia = d.engine_inertia > 0 ? d.engine_inertia : (double)s.engine_inertia;
    if (!(inertia > 0)) inertia = 1.0 / 1024;

    double transmitted = 0;
    if (n > 0) {
        double delta = wrap(d.clutch_windup - rear_angle);
        double damping = clamp((d.engine_speed - n * rear_rate) * s.clutch_damping, -clutch_damping_limit,
                               clutch_damping_limit);
        // The automatic clutch never holds back engine braking.
        if (s.clutch_stiffness * delta + damping < 0) e = lever;
        // A clutch wound up past its limit slips: the wind-up goes back to
        // the limit before the spring's torque is taken, so a slipping
        // clutch passes at most the limit's torque plus damping.
        double limit = e * clutch_windup_limit;
        if (delta > limit) {
            delta = limit;
            d.clutch_windup = wrap(rear_angle + limit);
        } else if (delta < -limit) {
            delta = -limit;
            d.clutch_windup = wrap(rear_angle - limit);
        }
        double tau = clamp(s.clutch_stiffness * delta + damping, -clutch_torque_limit, clutch_torque_limit);
        transmitted = finite_or_zero(e * e * tau);
        if (transmitted != 0) {
            dBodyAddRelTorque(rear.body, -transmitted, 0, 0);
            dBodyAddRelTorque(b->bodies[bike_body_frame], transmitted, 0, 0);
        }
        d.engine_speed += tick_length * (engine - transmitted / n) / inertia;
        d.clutch_windup = wrap(d.clutch_windup + tick_length * d.engine_speed / n);
    } else {
        d.engine_speed += tick_length * engine / inertia;
    }
    if (!std::isfinite(d.engine_speed)) d.engine_speed = 0;
    d.engine_torque = engine;
    d.clutch_torque = transmitted;
    d.clutch_engagement = e;

    // Brakes, with antilock freeing a slipping wheel and the stoppie aid
    // freeing the front while the rear wheel is off the ground.
    const bike_stability& st = b->stability;
    double front_torque = st.front_brake_torque * control(c.front_brake);
    if ((b->options & bike_option_front_antilock) && slipping(front)) front_torque = 0;
    if ((stop_wheelies(b) & 2) && touches(front) && !touches(rear)) front_torque = 0;
    set_brake(b->joints[bike_joint_front_axle], front_torque);

    double rear_torque = st.rear_brake_torque * control(c.rear_brake);
    if ((b->options & bike_option_rear_antilock) && slipping(rear)) rear_torque = 0;
    set_brake(axle, rear_torque);
}

// --- Settings ------------------------------------------------------------------------------------

void drivetrain_set_sprockets(bike_state* b, double front_offset, double rear_offset) {
    float f = bike_front_sprocket_teeth(&b->spec, std::isfinite(front_offset) ? (float)front_offset : 0.0f);
    float r = bike_rear_sprocket_teeth(&b->spec, std::isfinite(rear_offset) ? (float)rear_offset : 0.0f);
    b->drivetrain.final_drive = (double)r / f;
}

void drivetrain_set_auto_clutch(bike_state* b, double rpm) {
    b->stability.auto_clutch_rpm = std::isfinite(rpm) ? clamp(rpm, 0, 5000) : 5000;
}

void drivetrain_set_brakes(bike_state* b, double front, double rear) {
    b->stability.front_brake_torque = std::isfinite(front) ? clamp(front, 0, 500) : 250;
    b->stability.rear_brake_torque = std::isfinite(rear) ? clamp(rear, 0, 500) : 250;
}

void drivetrain_set_aids(bike_state* b, bool front_antilock, bool rear_antilock, bool auto_shift, int stop) {
    unsigned o = b->options & ~(unsigned)(bike_option_front_antilock | bike_option_rear_antilock |
                                          bike_option_auto_shift | bike_option_stop_wheelies_mask);
    if (front_antilock) o |= bike_option_front_antilock;
    if (rear_antilock) o |= bike_option_rear_antilock;
    if (auto_shift) o |= bike_option_auto_shift;
    o |= ((unsigned)stop << bike_option_stop_wheelies_shift) & bike_option_stop_wheelies_mask;
    b->options = (unsigned char)o;
}

void drivetrain_apply_setup(bike_state* b, const bike_setup* s) {
    static const int stop_codes[] = {0, 3, 2};  // "No", "Yes", "Front Only"
    int i = s->stop_wheelies.index;
    drivetrain_set_aids(b, s->front_brake.index == 1, s->rear_brake.index == 1, s->auto_shift.index == 1,
                        i >= 0 && i < 3 ? stop_codes[i] : 0);
    drivetrain_set_auto_clutch(b, s->auto_clutch_rpms.value);
    drivetrain_set_brakes(b, s->brake_torque.value, s->rear_brake_torque.value);
    drivetrain_set_sprockets(b, s->front_sprocket_adjustment.value, s->rear_sprocket_adjustment.value);
}
