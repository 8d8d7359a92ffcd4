// The bike's rigid-body assembly: bodies, mass models, joints, shapes,
// reset and placement, the rider mount, activity and the joint feedback
// compensation. Replayed bikes are placed in bike_packed.cpp.
#include "sim/bike.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/log.h"
#include "frame/game.h"
#include "sim/bike_pose.h"
#include "sim/world.h"

using namespace bike_pose;

namespace {

constexpr double pi = 3.14159265358979323846;

// The rider mount's anchor lies this far ahead of the bike (at rest z), so
// that turning about its second axis moves the rider almost straight up and
// down.
constexpr double rider_mount_z = -50;
// The mount's first axis, in the frame's coordinates (not unit).
constexpr vec rider_mount_axis1 = {0, 1, 1};
constexpr vec rider_mount_axis2 = {1, 0, 0};
// Mass ratio of the rider springs: rider mass / 4.6875.
constexpr double rider_mass_ratio = 0.21333334;

const int shape_names[bike_body_count] = {
    bike_data_frame_shape,      bike_data_front_wheel_shape, bike_data_rear_wheel_shape, bike_data_fork_upper_shape,
    bike_data_fork_lower_shape, bike_data_swingarm_shape,    bike_data_rider_shape,
};
const int texture_names[bike_texture_count] = {
    bike_data_rider_body_texture, bike_data_rider_head_texture, bike_data_bike_texture, bike_data_wheel_texture};

vec rest(const bike_spec& s, int body) {
    double p[3];
    bike_rest_position(&s, body, p);
    return {p[0], p[1], p[2]};
}

double range_middle(const bike_range& r) { return 0.5 * ((double)r.least + (double)r.most); }

void zero_forces(bike_state* b) {
    for (dBodyID body : b->bodies) {
        dBodySetForce(body, 0, 0, 0);
        dBodySetTorque(body, 0, 0, 0);
    }
}

void enable_bodies(bike_state* b, bool enable) {
    for (dBodyID body : b->bodies) {
        if (enable)
            dBodyEnable(body);
        else
            dBodyDisable(body);
    }
}

// The rider velocity history and the air-time ticks from the bike as it is
// now, so that nothing that differentiates them sees a jump.
void reset_histories(bike_state* b) {
    const dReal* v = dBodyGetLinearVel(b->bodies[bike_body_rider]);
    for (auto& slot : b->rider_velocity) {
        slot[0] = v[0];
        slot[1] = v[1];
        slot[2] = v[2];
    }
    b->fall_tick = g_race.tick;
    b->landing_tick = g_race.tick;
}

// The foot particles at the frame's foot points, at rest.
void feet_to_frame(bike_state* b) {
    pose frame = body_pose(b->bodies[bike_body_frame]);
    const bike_vec3* points = b->spec.skeleton.points;
    const int foot[2] = {bike_skeleton_left_foot, bike_skeleton_right_foot};
    for (int i = 0; i < 2; i++) {
        vec p = body_point(frame, to_vec(&points[foot[i]].x));
        b->feet[i] = bike_foot_particle{{p.x, p.y, p.z}, {0, 0, 0}};
    }
}

void set_rider_mount_suspension(bike_state* b) {
    double rho = b->spec.rider_mass * rider_mass_ratio;
    double cfm = 1 / ((30 * b->rider.forward_damping + 5) * rho);
    dJointSetHinge2Param(b->joints[bike_joint_rider_mount], dParamSuspensionERP, 0);
    dJointSetHinge2Param(b->joints[bike_joint_rider_mount], dParamSuspensionCFM, cfm);
}

void set_masses(bike_state* b) {
    dMass m;
    bike_frame_mass(&b->spec, b->rider.mass_distribution, &m);
    dBodySetMass(b->bodies[bike_body_frame], &m);
    bike_rider_mass(&b->spec, b->rider.mass_distribution, &m);
    dBodySetMass(b->bodies[bike_body_rider], &m);
    b->total_mass = bike_total_mass(b);
}

void make_joints(bike_state* b) {
    const bike_spec& s = b->spec;
    dBodyID* body = b->bodies;
    vec steer;
    bike_steering_axis(&s, &steer.x);

    dJointID j = dJointCreateHinge(g_world, nullptr);
    dJointAttach(j, body[bike_body_fork_lower], body[bike_body_front_wheel]);
    dJointSetHingeAnchor(j, s.front_wheel.position.x, s.front_wheel.position.y, s.front_wheel.position.z);
    dJointSetHingeAxis(j, 1, 0, 0);
    b->joints[bike_joint_front_axle] = j;

    j = dJointCreateHinge(g_world, nullptr);
    dJointAttach(j, body[bike_body_swingarm], body[bike_body_rear_wheel]);
    dJointSetHingeAnchor(j, s.rear_wheel.position.x, s.rear_wheel.position.y, s.rear_wheel.position.z);
    dJointSetHingeAxis(j, 1, 0, 0);
    b->joints[bike_joint_rear_axle] = j;

    // The steering hinge has stops but no motor: its maximum force stays 0.
    // The steering model turns the fork by applying its torque to the front
    // wheel and the frame directly.
    j = dJointCreateHinge(g_world, nullptr);
    dJointAttach(j, body[bike_body_fork_upper], body[bike_body_frame]);
    dJointSetHingeAnchor(j, s.fork_upper_position.x, s.fork_upper_position.y, s.fork_upper_position.z);
    dJointSetHingeAxis(j, steer.x, steer.y, steer.z);
    dJointSetHingeParam(j, dParamLoStop, -pi / 4);
    dJointSetHingeParam(j, dParamHiStop, pi / 4);
    b->joints[bike_joint_steering] = j;

    // The fork slides along the steering axis: 0 fully extended, down to
    // minus the fork travel.
    j = dJointCreateSlider(g_world, nullptr);
    dJointAttach(j, body[bike_body_fork_upper], body[bike_body_fork_lower]);
    dJointSetSliderAxis(j, steer.x, steer.y, steer.z);
    dJointSetSliderParam(j, dParamLoStop, -(double)s.fork_travel);
    dJointSetSliderParam(j, dParamHiStop, 0);
    dJointSetSliderParam(j, dParamBounce, 0);
    b->joints[bike_joint_fork] = j;

    // The swing arm pivots on a hinge about the frame's x axis; swinging up
    // is a negative angle.
    j = dJointCreateHinge(g_world, nullptr);
    dJointAttach(j, body[bike_body_swingarm], body[bike_body_frame]);
    dJointSetHingeAnchor(j, s.swingarm_pivot.x, s.swingarm_pivot.y, s.swingarm_pivot.z);
    dJointSetHingeAxis(j, 1, 0, 0);
    dJointSetHingeParam(j, dParamLoStop, -(double)s.linkage.swingarm_travel);
    dJointSetHingeParam(j, dParamHiStop, 0);
    dJointSetHingeParam(j, dParamBounce, 0);
    b->joints[bike_joint_swingarm] = j;

    // The rider mount: no turning about the first axis (both stops 0), free
    // about the second; its suspension lets the rider slide along the first.
    j = dJointCreateHinge2(g_world, nullptr);
    b->joints[bike_joint_rider_mount] = j;
    bike_rider_attach(b);
    dJointSetHinge2Param(j, dParamLoStop, 0);
    dJointSetHinge2Param(j, dParamHiStop, 0);
    set_rider_mount_suspension(b);

    for (int i = 0; i < bike_joint_count; i++) dJointSetFeedback(b->joints[i], &b->feedback[i]);
}

void set_default_settings(bike_state* b) {
    const bike_spec& s = b->spec;
    b->fork = bike_fork_settings{s.fork_compression_base, 0, s.fork_rebound_base, 0,
                                 range_middle(s.fork_spring_rate), range_middle(s.fork_preload),
                                 s.fork_oil_air_gap.least};
    b->shock = bike_shock_settings{2.0 * s.shock_compression_base, 0, 2.0 * s.shock_rebound_base,
                                   s.shock_slow_rebound_range, range_middle(s.shock_spring_rate),
                                   range_middle(s.shock_preload)};
    b->rider = bike_rider_settings{0.5, 0.75, 0.5, 0.75, 1.0 / 3.0};
    bike_stability& st = b->stability;
    st.roll_damping = 60;
    st.leveling = 20;
    st.roll_limit_factor = 10;
    st.roll_limit_angle = pi / 4;
    st.steering_damping = 45;
    st.steering_strength = 75;
    st.max_steering_force = 400;
    st.direct_steering = 1;
    st.slow_damping_speed = 0;
    st.slow_damping_factor = 1;
    st.land_damping_falloff = 0.25;
    st.land_damping_factor = 2;
    st.auto_clutch_rpm = 5000;
    st.front_brake_torque = 250;
    st.rear_brake_torque = 250;
    st.max_dab_speed = 30;
    st.full_lock_speed = 10;
    st.restricted_lock_speed = 50;
    st.restricted_lock = 5 * pi / 180;
    b->options = bike_option_steer_in_air | (2 << bike_option_stop_wheelies_shift) | bike_option_front_antilock;
    b->arcade = 0;
    b->drivetrain.engine_inertia = s.engine_inertia;
    b->drivetrain.final_drive = s.front_teeth > 0 ? (double)s.rear_teeth / s.front_teeth : 1;
}

}  // namespace

// --- Geometry ----------------------------------------------------------------------

void bike_rest_position(const bike_spec* s, int body, double position[3]) {
    const bike_vec3* p = &s->frame_position;
    switch (body) {
        case bike_body_front_wheel: p = &s->front_wheel.position; break;
        case bike_body_rear_wheel: p = &s->rear_wheel.position; break;
        case bike_body_fork_upper: p = &s->fork_upper_position; break;
        case bike_body_fork_lower: p = &s->fork_lower_position; break;
        case bike_body_swingarm: p = &s->swingarm_position; break;
        case bike_body_rider: p = &s->rider_position; break;
        default: break;
    }
    position[0] = p->x;
    position[1] = p->y;
    position[2] = p->z;
}

void bike_steering_axis(const bike_spec* s, double axis[3]) {
    vec a = unit(to_vec(&s->fork_upper_position.x) - to_vec(&s->fork_lower_position.x));
    axis[0] = a.x;
    axis[1] = a.y;
    axis[2] = a.z;
}

// --- Mass models -------------------------------------------------------------------

void bike_wheel_mass(const bike_wheel_spec* w, dMass* mass) {
    // The hub is a solid sphere at the centre; the tyre and rim are 16 solid
    // spheres of the section radius round the ring, in the wheel's y-z plane.
    dMassSetSphereTotal(mass, w->hub_mass, w->hub_radius);
    dMass sphere;
    dMassSetSphereTotal(&sphere, w->tyre_mass / 16.0, w->section_radius);
    dMassTranslate(&sphere, 0, w->ring_radius, 0);
    dMatrix3 step;
    dRFromAxisAndAngle(step, 1, 0, 0, pi / 8);
    for (int i = 0; i < 16; i++) {
        dMassAdd(mass, &sphere);
        dMassRotate(&sphere, step);
    }
    // The ring is symmetric about the axle: its centre of mass is the origin
    // but for rounding.
    mass->c[0] = mass->c[1] = mass->c[2] = 0;
}

void bike_fork_mass(const bike_spec* s, dMass* mass) {
    // Two tubes side by side, each half the fork body mass, lying along the
    // steering axis: built along y, then tilted back about x by the rake.
    double spacing = s->fork_tube_spacing;
    dMass tube;
    dMassSetCylinderTotal(&tube, s->fork_body_mass / 2.0, 2, spacing / 8, s->fork_tube_length_factor * 2.0 / 3.0);
    dMass other = tube;
    dMassTranslate(&tube, spacing / 2, 0, 0);
    dMassTranslate(&other, -spacing / 2, 0, 0);
    *mass = tube;
    dMassAdd(mass, &other);
    vec axis;
    bike_steering_axis(s, &axis.x);
    dMatrix3 rake;
    dRFromAxisAndAngle(rake, 1, 0, 0, std::atan2(axis.z, axis.y));
    dMassRotate(mass, rake);
    mass->c[0] = mass->c[1] = mass->c[2] = 0;
}

void bike_swingarm_mass(const bike_spec* s, dMass* mass) {
    // Two side members, each a box of the swing arm mass, along the line from
    // the pivot to the rear axle.
    double w = s->frame_box.x;
    vec arm = to_vec(&s->rear_wheel.position.x) - to_vec(&s->swingarm_pivot.x);
    dMass side;
    dMassSetBoxTotal(&side, s->swingarm_mass, w / 4, w / 4, length(arm));
    dMass other = side;
    dMassTranslate(&side, w / 2, 0, 0);
    dMassTranslate(&other, -w / 2, 0, 0);
    *mass = side;
    dMassAdd(mass, &other);
    dMatrix3 tilt;
    dRFromAxisAndAngle(tilt, 1, 0, 0, -std::atan2(arm.y, arm.z));
    dMassRotate(mass, tilt);
    mass->c[0] = mass->c[1] = mass->c[2] = 0;
}

void bike_frame_mass(const bike_spec* s, double d, dMass* mass) {
    dMassSetBoxTotal(mass, s->frame_mass + (1 - d) * s->rider_mass, s->frame_box.x, s->frame_box.y, s->frame_box.z);
}

void bike_rider_mass(const bike_spec* s, double d, dMass* mass) { dMassSetSphereTotal(mass, d * s->rider_mass, 1); }

void bike_set_mass_distribution(bike_state* b, double d) {
    if (!(d == d)) d = 1.0 / 3.0;
    if (d < 0.33) d = 0.33;
    if (d > 0.5) d = 0.5;
    b->rider.mass_distribution = d;
    set_masses(b);
}

double bike_total_mass(const bike_state* b) {
    double total = 0;
    for (dBodyID body : b->bodies) {
        dMass m;
        dBodyGetMass(body, &m);
        total += m.mass;
    }
    return total;
}

// --- Life cycle ----------------------------------------------------------------------

bike_state* bike_create(const char* name, int slot, const char* number,
                        const char* const textures[bike_texture_count]) {
    if (!g_world) {
        log_printf("Can't create bike %.20s: there is no physics world\n", name ? name : "");
        return nullptr;
    }
    const bike_spec* spec = bike_find_for_new_bike(name);
    bike_state* b = new (mem_calloc_or_die(1, sizeof(bike_state))) bike_state();
    b->spec = *spec;
    b->slot = slot;
    snprintf(b->plate_text, sizeof b->plate_text, "%s", number ? number : "");
    for (int i = 0; i < bike_texture_count; i++) {
        const char* chosen = textures && textures[i] && textures[i][0] ? textures[i] : spec->data_names[texture_names[i]];
        b->texture_names[i] = mem_strdup(chosen);
    }
    set_default_settings(b);

    for (int i = 0; i < bike_body_count; i++) {
        dBodyID body = dBodyCreate(g_world);
        vec p = rest(b->spec, i);
        dBodySetPosition(body, p.x, p.y, p.z);
        b->bodies[i] = body;
    }
    // The wheels spin fast: their rotation is integrated exactly.
    for (int i : {bike_body_front_wheel, bike_body_rear_wheel}) {
        dBodySetFiniteRotationMode(b->bodies[i], 1);
        dBodySetFiniteRotationAxis(b->bodies[i], 0, 0, 0);
    }

    dMass m;
    bike_wheel_mass(&b->spec.front_wheel, &m);
    dBodySetMass(b->bodies[bike_body_front_wheel], &m);
    bike_wheel_mass(&b->spec.rear_wheel, &m);
    dBodySetMass(b->bodies[bike_body_rear_wheel], &m);
    bike_fork_mass(&b->spec, &m);
    dBodySetMass(b->bodies[bike_body_fork_upper], &m);
    dBodySetMass(b->bodies[bike_body_fork_lower], &m);
    bike_swingarm_mass(&b->spec, &m);
    dBodySetMass(b->bodies[bike_body_swingarm], &m);
    set_masses(b);  // frame and rider, then the total

    make_joints(b);

    const bike_wheel_spec* wheel_specs[bike_wheel_count] = {&b->spec.front_wheel, &b->spec.rear_wheel};
    for (int i = 0; i < bike_wheel_count; i++) {
        bike_wheel& w = b->wheels[i];
        w.body = b->bodies[i == bike_wheel_front ? bike_body_front_wheel : bike_body_rear_wheel];
        w.axle[0] = 1;
        w.ring_radius = wheel_specs[i]->ring_radius;
        w.section_radius = wheel_specs[i]->section_radius;
    }

    for (int i = 0; i < bike_body_count; i++)
        b->shapes[i] = shape_instance_create(shape_get(b->spec.data_names[shape_names[i]]));

    bike_reset(b);
    return b;
}

void bike_destroy(bike_state* b) {
    if (!b) return;
    for (dJointID j : b->joints)
        if (j) dJointDestroy(j);
    for (dBodyID body : b->bodies)
        if (body) dBodyDestroy(body);
    for (shape_instance* s : b->shapes) shape_instance_destroy(s);
    for (char* name : b->texture_names) mem_free(name);
    b->~bike_state();  // the lap records
    mem_free(b);
}

void bike_reset(bike_state* b) {
    for (int i = 0; i < bike_body_count; i++) {
        dBodyID body = b->bodies[i];
        set_body_pose(body, pose{rest(b->spec, i), identity()});
        dBodySetLinearVel(body, 0, 0, 0);
        dBodySetAngularVel(body, 0, 0, 0);
        dBodyEnable(body);
    }
    zero_forces(b);
    bike_rider_to_rest(b);
    bike_rider_attach(b);
    memset(b->feedback, 0, sizeof b->feedback);

    // Motors off until the bike step sets them again.
    for (int i : {bike_joint_front_axle, bike_joint_rear_axle, bike_joint_steering, bike_joint_swingarm}) {
        dJointSetHingeParam(b->joints[i], dParamVel, 0);
        dJointSetHingeParam(b->joints[i], dParamFMax, 0);
    }
    dJointSetSliderParam(b->joints[bike_joint_fork], dParamVel, 0);
    dJointSetSliderParam(b->joints[bike_joint_fork], dParamFMax, 0);

    for (bike_wheel& w : b->wheels) {
        memset(w.contact_point, 0, sizeof w.contact_point);
        memset(w.contact_velocity, 0, sizeof w.contact_velocity);
        memset(w.contact_normal, 0, sizeof w.contact_normal);
        w.depth = 0;
        memset(&w.contact_feedback, 0, sizeof w.contact_feedback);
    }

    b->controls = bike_controls{};
    b->drivetrain.clutch_windup = 0;
    b->drivetrain.engine_speed = 0;
    b->drivetrain.engine_torque = 0;
    b->drivetrain.clutch_torque = 0;
    b->drivetrain.clutch_engagement = 0;

    b->last_contact_tick = -1;
    b->first_contact_tick = -1;
    b->crash_mark = 0;
    b->landing_damping = 1;
    b->crash_timer = 0;
    b->crash_count = 0;
    b->crash_wait = 0;
    b->crash_requested = false;
    b->collision_hold = 0;
    b->front_slide = 0;
    b->activity = 1;
    b->deform_read = b->deform_write = 0;
    feet_to_frame(b);
    reset_histories(b);
}

void bike_translate(bike_state* b, const double offset[3]) {
    vec d = to_vec(offset);
    if (!finite(d)) {
        log_printf("Bike in slot %d: refused to move it by a non-finite offset\n", b->slot);
        return;
    }
    for (dBodyID body : b->bodies) {
        vec p = to_vec(dBodyGetPosition(body)) + d;
        dBodySetPosition(body, p.x, p.y, p.z);
    }
    for (bike_foot_particle& f : b->feet)
        for (int k = 0; k < 3; k++) f.position[k] += offset[k];
}

void bike_place(bike_state* b, const double axis[3], double angle, const double offset[3]) {
    vec a = to_vec(axis);
    if (!finite(a) || !std::isfinite(angle) || !finite(to_vec(offset))) {
        log_printf("Bike in slot %d: refused to place it with non-finite values\n", b->slot);
        return;
    }
    double l = length(a);
    quat q = l > 0 ? from_axis_angle(a * (1 / l), angle) : identity();
    for (dBodyID body : b->bodies) {
        pose p = body_pose(body);
        set_body_pose(body, pose{rotate(q, p.p), q * p.q});
        vec v = rotate(q, to_vec(dBodyGetLinearVel(body)));
        vec w = rotate(q, to_vec(dBodyGetAngularVel(body)));
        dBodySetLinearVel(body, v.x, v.y, v.z);
        dBodySetAngularVel(body, w.x, w.y, w.z);
    }
    for (bike_foot_particle& f : b->feet) {
        vec p = rotate(q, to_vec(f.position));
        vec v = rotate(q, to_vec(f.velocity));
        f = bike_foot_particle{{p.x, p.y, p.z}, {v.x, v.y, v.z}};
    }
    bike_translate(b, offset);
}

// --- Rider mount ---------------------------------------------------------------------

void bike_rider_detach(bike_state* b) { dJointAttach(b->joints[bike_joint_rider_mount], nullptr, nullptr); }

void bike_rider_attach(bike_state* b) {
    dJointID j = b->joints[bike_joint_rider_mount];
    pose frame = body_pose(b->bodies[bike_body_frame]);
    vec anchor = body_point(frame, vec{0, b->spec.rider_position.y, rider_mount_z} - rest(b->spec, bike_body_frame));
    vec axis1 = rotate(frame.q, unit(rider_mount_axis1));
    vec axis2 = rotate(frame.q, rider_mount_axis2);
    dJointAttach(j, b->bodies[bike_body_rider], b->bodies[bike_body_frame]);
    dJointSetHinge2Anchor(j, anchor.x, anchor.y, anchor.z);
    const dReal a1[3] = {axis1.x, axis1.y, axis1.z};
    const dReal a2[3] = {axis2.x, axis2.y, axis2.z};
    dJointSetHinge2Axes(j, a1, a2);
}

bool bike_rider_attached(const bike_state* b) {
    dJointID j = b->joints[bike_joint_rider_mount];
    return dJointGetBody(j, 0) && dJointGetBody(j, 1);
}

void bike_rider_to_rest(bike_state* b) {
    dBodyID frame_body = b->bodies[bike_body_frame];
    dBodyID rider = b->bodies[bike_body_rider];
    pose frame = body_pose(frame_body);
    vec offset = rest(b->spec, bike_body_rider) - rest(b->spec, bike_body_frame);
    vec p = body_point(frame, offset);
    set_body_pose(rider, pose{p, frame.q});
    dVector3 v;
    dBodyGetPointVel(frame_body, p.x, p.y, p.z, v);
    dBodySetLinearVel(rider, v[0], v[1], v[2]);
    const dReal* w = dBodyGetAngularVel(frame_body);
    dBodySetAngularVel(rider, w[0], w[1], w[2]);
}

// --- Activity ------------------------------------------------------------------------

void bike_wake(bike_state* b) {
    if (b->activity <= 0.25) {
        zero_forces(b);
        reset_histories(b);
    }
    b->activity = 1;
    enable_bodies(b, true);
}

void bike_park(bike_state* b) {
    if (b->activity <= 0.25) zero_forces(b);
    b->activity = 0;
    enable_bodies(b, false);
}

void bike_touch(bike_state* b) {
    if (b->activity <= 0) {
        bike_wake(b);
    } else if (b->activity <= 0.25) {
        zero_forces(b);
        b->activity = 0.25;
        enable_bodies(b, false);
    }
}

void bike_decay_activity(bike_state* b) {
    if (!(b->activity > 0)) return;
    double a = b->activity - tick_length;
    b->activity = a < 0 ? 0 : a > 1 ? 1 : a;
    enable_bodies(b, b->activity > 0.25);
}

bool bike_active(const bike_state* b) { return b->activity > 0.25; }

// --- Joint feedback compensation --------------------------------------------------------

void bike_joint_feedback_compensation(bike_state* b) {
    for (dJointID j : b->joints)
        if (!dJointGetBody(j, 0) || !dJointGetBody(j, 1)) return;
    vec centre = to_vec(dBodyGetPosition(b->bodies[bike_body_frame]));
    vec force{0, 0, 0}, moment{0, 0, 0};
    for (int i = 0; i < bike_joint_count; i++) {
        const dJointFeedback& fb = b->feedback[i];
        const dReal* forces[2] = {fb.f1, fb.f2};
        const dReal* torques[2] = {fb.t1, fb.t2};
        for (int k = 0; k < 2; k++) {
            vec f = to_vec(forces[k]);
            vec at = to_vec(dBodyGetPosition(dJointGetBody(b->joints[i], k))) - centre;
            force = force + f;
            moment = moment + cross(at, f) + to_vec(torques[k]);
        }
    }
    if (!finite(force) || !finite(moment)) return;
    dBodyAddForce(b->bodies[bike_body_frame], -force.x, -force.y, -force.z);
    dBodyAddTorque(b->bodies[bike_body_frame], -moment.x, -moment.y, -moment.z);
}
