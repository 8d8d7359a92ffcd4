// Tests of the bike's rigid-body assembly: the mass models against hand
// computation, joints in world space after placement, posing from recorded
// states (checked through the joints' own angle readings), the frozen and
// the pulled replayed bike, free fall, reset, activity, shapes and their
// cache, and "dwtool bike".
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "base/log.h"
#include "base/mem.h"
#include "dwtool/commands.h"
#include "files/data.h"
#include "frame/game.h"
#include "sim/bike.h"
#include "sim/shape.h"
#include "sim/world.h"

namespace {

constexpr double pi = 3.14159265358979323846;

struct v3 {
    double x, y, z;
};
v3 operator-(v3 a, v3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
v3 operator+(v3 a, v3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
v3 operator*(v3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(v3 a, v3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double len(v3 a) { return std::sqrt(dot(a, a)); }
v3 unit(v3 a) { return a * (1 / len(a)); }
v3 of(const dReal* v) { return {v[0], v[1], v[2]}; }
v3 of(const bike_vec3& v) { return {v.x, v.y, v.z}; }
// Rotation about the y axis (a heading).
v3 rot_y(double a, v3 v) { return {std::cos(a) * v.x + std::sin(a) * v.z, v.y, -std::sin(a) * v.x + std::cos(a) * v.z}; }

#define EXPECT_VEC_NEAR(a, b, tol)                 \
    do {                                           \
        v3 a_ = (a), b_ = (b);                     \
        EXPECT_NEAR(a_.x, b_.x, tol) << "x";       \
        EXPECT_NEAR(a_.y, b_.y, tol) << "y";       \
        EXPECT_NEAR(a_.z, b_.z, tol) << "z";       \
    } while (0)

std::string read_file(const std::string& path) {
    std::string text;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
        fclose(f);
    }
    return text;
}

void write_file(const std::string& path, const std::string& text) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

// Runs a call with the log written to a file of its own; returns the log.
template <class F>
std::string logged_by(F call) {
    std::string path = ::testing::TempDir() + "bike_test_log.txt";
    setenv("KWIL_LOGFILE", path.c_str(), 1);
    log_reset_for_tests();
    call();
    log_reset_for_tests();
    unsetenv("KWIL_LOGFILE");
    std::string text = read_file(path);
    remove(path.c_str());
    return text;
}

const char k_frame_shape[] = "2\n0 0 0 0.5 0.8 2500 250\n0 0.5 -0.75 0.25 0.6 2000 200\n";
const char k_part_shape[] = "1\n0 0.1 0 0.3 0.5 2500 250\n";

// A world of its own per test, and a data folder holding the bike's shape
// files (nothing from the user's home folder).
class BikeWorld : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = ::testing::TempDir() + "bike_test_data";
        mkdir(root_.c_str(), 0755);
        mkdir((root_ + "/home").c_str(), 0755);
        mkdir((root_ + "/data").c_str(), 0755);
        for (const char* name : {"generic_frame.shp"}) write_file(root_ + "/data/" + name, k_frame_shape);
        for (const char* name : {"generic_fork_upper.shp", "generic_fork_lower.shp", "generic_swingarm.shp",
                                 "front_wheel.shp", "rear_wheel.shp", "generic_rider.shp"})
            write_file(root_ + "/data/" + name, k_part_shape);
        setenv("DW_HOME", (root_ + "/data").c_str(), 1);
        setenv("XDG_DATA_HOME", (root_ + "/home").c_str(), 1);
        data_reset_for_tests();
        shape_cache_free();
        g_race.tick = 0;
        ASSERT_TRUE(physics_world_create());
    }
    void TearDown() override {
        for (bike_state* b : bikes_) bike_destroy(b);
        physics_world_destroy();
        shape_cache_free();
        unsetenv("DW_HOME");
        unsetenv("XDG_DATA_HOME");
        data_reset_for_tests();
        g_race.tick = 0;
    }
    bike_state* make(const char* name = "yz250f(2017)") {
        bike_state* b = bike_create(name, (int)bikes_.size(), "42", nullptr);
        if (b) bikes_.push_back(b);
        return b;
    }
    void step(int ticks) {
        for (int i = 0; i < ticks; i++) physics_world_step(tick_length);
    }

    std::string root_;
    std::vector<bike_state*> bikes_;
};

bool all_finite(const bike_state* b) {
    for (dBodyID body : b->bodies) {
        const dReal* arrays[4] = {dBodyGetPosition(body), dBodyGetQuaternion(body), dBodyGetLinearVel(body),
                                  dBodyGetAngularVel(body)};
        for (const dReal* a : arrays)
            for (int k = 0; k < 3; k++)
                if (!std::isfinite(a[k])) return false;
        if (!std::isfinite(dBodyGetQuaternion(body)[3])) return false;
    }
    return true;
}

// The rest pose of the whole record, as a format-5 record at the rest placement.
bike_packed_fields rest_record(const bike_state* b) {
    bike_packed_fields r{};
    v3 f = of(b->spec.frame_position);
    r.frame_position[0] = f.x;
    r.frame_position[1] = f.y;
    r.frame_position[2] = f.z;
    r.frame_orientation[0] = 1;
    v3 o = of(b->spec.rider_position) - f;
    r.rider_offset[0] = o.x;
    r.rider_offset[1] = o.y;
    r.rider_offset[2] = o.z;
    r.rider_orientation[0] = 1;
    return r;
}

// --- Mass models -----------------------------------------------------------------------------

// The 3 x 3 inertia a mass model should have: principal values along three
// orthogonal unit axes.
void expect_inertia(const dMass& m, const v3 axes[3], const double values[3], double tol) {
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++) {
            const double ar[3] = {axes[0].x, axes[0].y, axes[0].z}, br[3] = {axes[1].x, axes[1].y, axes[1].z},
                         cr[3] = {axes[2].x, axes[2].y, axes[2].z};
            double want = values[0] * ar[r] * ar[c] + values[1] * br[r] * br[c] + values[2] * cr[r] * cr[c];
            EXPECT_NEAR(m.I[r * 4 + c], want, tol) << "I[" << r << "][" << c << "]";
        }
    EXPECT_NEAR(m.c[0], 0, 1e-15);
    EXPECT_NEAR(m.c[1], 0, 1e-15);
    EXPECT_NEAR(m.c[2], 0, 1e-15);
}

TEST(BikeMass, WheelIsAHubAndSixteenTyreSpheres) {
    const bike_spec* s = bike_find("yz250f(2017)");
    for (const bike_wheel_spec* w : {&s->front_wheel, &s->rear_wheel}) {
        dMass m;
        bike_wheel_mass(w, &m);
        double hub = w->hub_mass, tyre = w->tyre_mass, a = w->section_radius, R = w->ring_radius;
        double spheres = 0.4 * hub * w->hub_radius * w->hub_radius + 0.4 * tyre * a * a;
        EXPECT_NEAR(m.mass, hub + tyre, 1e-12);
        const v3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
        const double values[3] = {spheres + tyre * R * R, spheres + tyre * R * R / 2, spheres + tyre * R * R / 2};
        expect_inertia(m, axes, values, 1e-12);
    }
}

TEST(BikeMass, ForkTubesLieAlongTheSteeringAxis) {
    const bike_spec* s = bike_find("yz250f(2017)");
    dMass m;
    bike_fork_mass(s, &m);
    double mass = s->fork_body_mass, spacing = s->fork_tube_spacing, r = spacing / 8,
           L = s->fork_tube_length_factor * 2.0 / 3.0;
    v3 u = unit(of(s->fork_upper_position) - of(s->fork_lower_position));
    EXPECT_NEAR(std::atan2(u.z, u.y) * 180 / pi, 26.77, 0.01);  // the rake
    v3 w = {0, -u.z, u.y};
    double across = mass * (3 * r * r + L * L) / 12;
    const v3 axes[3] = {{1, 0, 0}, u, w};
    const double values[3] = {across, mass * (r * r / 2 + spacing * spacing / 4), across + mass * spacing * spacing / 4};
    EXPECT_NEAR(m.mass, mass, 1e-12);
    expect_inertia(m, axes, values, 1e-12);
    // About the steering axis the fork is light: about 0.126 slug ft^2.
    EXPECT_NEAR(values[1], 0.1259, 0.0005);
}

TEST(BikeMass, SwingArmSideMembersRunFromPivotToAxle) {
    const bike_spec* s = bike_find("crf450(2017)");
    dMass m;
    bike_swingarm_mass(s, &m);
    double each = s->swingarm_mass, w = s->frame_box.x;
    v3 arm = of(s->rear_wheel.position) - of(s->swingarm_pivot);
    double L = len(arm), side = w / 4;
    v3 a = unit(arm), p = {0, -a.z, a.y};
    const v3 axes[3] = {{1, 0, 0}, a, p};
    const double values[3] = {2 * each * (side * side + L * L) / 12,
                              2 * (each * 2 * side * side / 12 + each * w * w / 4),
                              2 * (each * (side * side + L * L) / 12 + each * w * w / 4)};
    EXPECT_NEAR(m.mass, 2 * each, 1e-12);
    expect_inertia(m, axes, values, 1e-12);
}

TEST_F(BikeWorld, FrameRiderAndTotalMassFollowTheRiderShare) {
    bike_state* b = make("kx450f(2017)");
    ASSERT_NE(b, nullptr);
    const bike_spec& s = b->spec;
    double parts = (double)s.front_wheel.hub_mass + s.front_wheel.tyre_mass + s.rear_wheel.hub_mass +
                   s.rear_wheel.tyre_mass + 2.0 * s.fork_body_mass + 2.0 * s.swingarm_mass;
    double total = parts + s.frame_mass + s.rider_mass;
    EXPECT_NEAR(b->total_mass, total, 1e-9);

    struct {
        double asked, used;
    } cases[] = {{1.0 / 3.0, 1.0 / 3.0}, {0.45, 0.45}, {0.1, 0.33}, {0.9, 0.5}, {NAN, 1.0 / 3.0}};
    for (const auto& c : cases) {
        bike_set_mass_distribution(b, c.asked);
        dMass frame, rider;
        dBodyGetMass(b->bodies[bike_body_frame], &frame);
        dBodyGetMass(b->bodies[bike_body_rider], &rider);
        EXPECT_NEAR(rider.mass, c.used * s.rider_mass, 1e-9) << c.asked;
        EXPECT_NEAR(frame.mass, s.frame_mass + (1 - c.used) * s.rider_mass, 1e-9) << c.asked;
        EXPECT_NEAR(rider.I[0], 0.4 * rider.mass, 1e-12);  // a sphere of radius 1
        double bx = s.frame_box.x, by = s.frame_box.y, bz = s.frame_box.z;
        EXPECT_NEAR(frame.I[0], frame.mass * (by * by + bz * bz) / 12, 1e-9);
        EXPECT_NEAR(frame.I[5], frame.mass * (bx * bx + bz * bz) / 12, 1e-9);
        EXPECT_NEAR(b->total_mass, total, 1e-9);
    }
}

// --- Assembly and placement -------------------------------------------------------------------

TEST_F(BikeWorld, JointsSitAtTheirAnchorsAfterPlacingAtAHeading) {
    bike_state* b = make();
    ASSERT_NE(b, nullptr);
    const bike_spec& s = b->spec;
    const double heading = 2.2;
    const double axis[3] = {0, 1, 0}, offset[3] = {120, 7.5, -40};
    bike_place(b, axis, heading, offset);
    v3 o = {offset[0], offset[1], offset[2]};
    v3 steer = unit(of(s.fork_upper_position) - of(s.fork_lower_position));

    struct hinge_case {
        int joint;
        v3 anchor, axis;
        double lo, hi;
    } hinges[] = {
        {bike_joint_front_axle, of(s.front_wheel.position), {1, 0, 0}, -dInfinity, dInfinity},
        {bike_joint_rear_axle, of(s.rear_wheel.position), {1, 0, 0}, -dInfinity, dInfinity},
        {bike_joint_steering, of(s.fork_upper_position), steer, -pi / 4, pi / 4},
        {bike_joint_swingarm, of(s.swingarm_pivot), {1, 0, 0}, -(double)s.linkage.swingarm_travel, 0},
    };
    for (const hinge_case& c : hinges) {
        SCOPED_TRACE(c.joint);
        dJointID j = b->joints[c.joint];
        dVector3 a1, a2, ax;
        dJointGetHingeAnchor(j, a1);
        dJointGetHingeAnchor2(j, a2);
        dJointGetHingeAxis(j, ax);
        EXPECT_VEC_NEAR(of(a1), rot_y(heading, c.anchor) + o, 1e-9);
        EXPECT_VEC_NEAR(of(a2), of(a1), 1e-9);
        EXPECT_VEC_NEAR(of(ax), rot_y(heading, c.axis), 1e-9);
        EXPECT_EQ(dJointGetHingeParam(j, dParamLoStop), c.lo);
        EXPECT_EQ(dJointGetHingeParam(j, dParamHiStop), c.hi);
        EXPECT_NEAR(dJointGetHingeAngle(j), 0, 1e-9);
    }
    EXPECT_EQ(dJointGetHingeParam(b->joints[bike_joint_steering], dParamFMax), 0);  // no steering motor

    dJointID fork = b->joints[bike_joint_fork];
    dVector3 ax;
    dJointGetSliderAxis(fork, ax);
    EXPECT_VEC_NEAR(of(ax), rot_y(heading, steer), 1e-9);
    EXPECT_EQ(dJointGetSliderParam(fork, dParamLoStop), -(double)s.fork_travel);
    EXPECT_EQ(dJointGetSliderParam(fork, dParamHiStop), 0);
    EXPECT_NEAR(dJointGetSliderPosition(fork), 0, 1e-9);

    dJointID mount = b->joints[bike_joint_rider_mount];
    dVector3 a1, a2, ax1, ax2;
    dJointGetHinge2Anchor(mount, a1);
    dJointGetHinge2Anchor2(mount, a2);
    dJointGetHinge2Axis1(mount, ax1);
    dJointGetHinge2Axis2(mount, ax2);
    EXPECT_VEC_NEAR(of(a1), rot_y(heading, v3{0, s.rider_position.y, -50}) + o, 1e-9);
    EXPECT_VEC_NEAR(of(a2), of(a1), 1e-9);
    EXPECT_VEC_NEAR(of(ax1), rot_y(heading, unit(v3{0, 1, 1})), 1e-9);
    EXPECT_VEC_NEAR(of(ax2), rot_y(heading, v3{1, 0, 0}), 1e-9);
    EXPECT_EQ(dJointGetHinge2Param(mount, dParamLoStop), 0);
    EXPECT_EQ(dJointGetHinge2Param(mount, dParamHiStop), 0);

    // Every body moved with the bike; a bike at heading 0 faces -z, so the
    // front wheel is ahead along the turned -z.
    for (int i = 0; i < bike_body_count; i++) {
        double rest[3];
        bike_rest_position(&s, i, rest);
        EXPECT_VEC_NEAR(of(dBodyGetPosition(b->bodies[i])), rot_y(heading, v3{rest[0], rest[1], rest[2]}) + o, 1e-9);
    }
}

TEST_F(BikeWorld, FreshBikeStandsAtItsRestPositions) {
    bike_state* b = make();
    ASSERT_NE(b, nullptr);
    EXPECT_DOUBLE_EQ(dBodyGetPosition(b->bodies[bike_body_front_wheel])[1], (double)1.09f);
    EXPECT_DOUBLE_EQ(dBodyGetPosition(b->bodies[bike_body_rear_wheel])[1], (double)1.04f);
    EXPECT_EQ(dBodyGetFiniteRotationMode(b->bodies[bike_body_front_wheel]), 1);
    EXPECT_EQ(dBodyGetFiniteRotationMode(b->bodies[bike_body_rear_wheel]), 1);
    EXPECT_EQ(dBodyGetFiniteRotationMode(b->bodies[bike_body_frame]), 0);
    EXPECT_STREQ(b->plate_text, "42");
    EXPECT_EQ(b->activity, 1);
    EXPECT_EQ(b->last_contact_tick, -1);
    EXPECT_EQ(b->first_contact_tick, -1);
    EXPECT_EQ(b->landing_damping, 1);
    EXPECT_TRUE(bike_rider_attached(b));
    EXPECT_EQ(b->options & 1, 1);
    EXPECT_STREQ(b->texture_names[bike_texture_bike], "@yz250fv2014.png");
    EXPECT_STREQ(b->texture_names[bike_texture_wheel], "@wheels.png");
}

TEST_F(BikeWorld, ChosenTexturesAndLongNumbers) {
    const char* textures[bike_texture_count] = {"@mine.png", "", nullptr, "@rims.png"};
    bike_state* b = bike_create("cr125", 3, "123456789", textures);
    ASSERT_NE(b, nullptr);
    bikes_.push_back(b);
    EXPECT_STREQ(b->plate_text, "1234567");
    EXPECT_EQ(b->slot, 3);
    EXPECT_STREQ(b->texture_names[bike_texture_rider], "@mine.png");
    EXPECT_STREQ(b->texture_names[bike_texture_head], "@rider_head.png");
    EXPECT_STREQ(b->texture_names[bike_texture_bike], "@cr125.png");
    EXPECT_STREQ(b->texture_names[bike_texture_wheel], "@rims.png");
}

TEST_F(BikeWorld, UnknownNameTakesTheSubstitute) {
    bike_state* b = nullptr;
    std::string log = logged_by([&] { b = make("no such bike"); });
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(b->spec.name, bike_substitute("no such bike")->name);
    EXPECT_NE(log.find("bike info for 'no such bike' not found"), std::string::npos) << log;
}

TEST(BikeNoWorld, CreateWithoutAWorldFails) {
    physics_world_destroy();
    std::string log = logged_by([] { EXPECT_EQ(bike_create("cr125", 0, "1", nullptr), nullptr); });
    EXPECT_NE(log.find("no physics world"), std::string::npos) << log;
}

TEST_F(BikeWorld, TwoBikesOfOneNameAreIndependentAndShareShapes) {
    bike_state* a = make("rm125");
    bike_state* b = make("rm125");
    ASSERT_TRUE(a && b);
    int cached = shape_cache_count();
    EXPECT_EQ(cached, 7);
    for (int i = 0; i < bike_body_count; i++) {
        SCOPED_TRACE(i);
        EXPECT_NE(a->bodies[i], b->bodies[i]);
        ASSERT_NE(a->shapes[i], nullptr);
        ASSERT_NE(b->shapes[i], nullptr);
        EXPECT_EQ(a->shapes[i]->shape, b->shapes[i]->shape);
        EXPECT_NE(a->shapes[i], b->shapes[i]);
        EXPECT_NE(a->shapes[i]->spheres, b->shapes[i]->spheres);
        EXPECT_NE(a->shapes[i]->world, b->shapes[i]->world);
    }
    EXPECT_EQ(a->shapes[bike_body_frame]->count, 2);
    EXPECT_NEAR(a->shapes[bike_body_frame]->shape->bounding_radius, std::sqrt(0.25 + 0.5625) + 0.25, 1e-12);

    // Moving, spinning and stepping one leaves the other where it was.
    const double axis[3] = {0, 1, 0}, offset[3] = {30, 0, 0};
    bike_place(a, axis, 1.0, offset);
    dBodySetAngularVel(a->bodies[bike_body_rear_wheel], 80, 0, 0);
    step(64);
    dBodyID frame_b = b->bodies[bike_body_frame];
    EXPECT_NEAR(dBodyGetPosition(frame_b)[0], 0, 1e-12);
    EXPECT_NEAR(dBodyGetPosition(frame_b)[2], b->spec.frame_position.z, 1e-12);
    EXPECT_NEAR(dBodyGetAngularVel(b->bodies[bike_body_rear_wheel])[0], 0, 1e-9);
    EXPECT_GT(std::fabs(dBodyGetPosition(a->bodies[bike_body_frame])[0]), 25);

    // A third bike brings no new shape files.
    make("yz125");
    EXPECT_EQ(shape_cache_count(), cached);
}

TEST_F(BikeWorld, FallsAtGAndHoldsTogether) {
    bike_state* b = make("crf450(2017)");
    ASSERT_NE(b, nullptr);
    // Spin the wheels and tumble the frame a little so the joints have work to do.
    dBodySetAngularVel(b->bodies[bike_body_front_wheel], -120, 0, 0);
    dBodySetAngularVel(b->bodies[bike_body_rear_wheel], -150, 0, 0);
    dBodySetAngularVel(b->bodies[bike_body_frame], 0.3, 0.2, 0.4);
    auto momentum_y = [&] {
        double p = 0;
        for (dBodyID body : b->bodies) {
            dMass m;
            dBodyGetMass(body, &m);
            p += m.mass * dBodyGetLinearVel(body)[1];
        }
        return p;
    };
    double before = momentum_y();
    auto distance = [&](int i) {
        return len(of(dBodyGetPosition(b->bodies[i])) - of(dBodyGetPosition(b->bodies[bike_body_frame])));
    };
    double front0 = distance(bike_body_front_wheel), rear0 = distance(bike_body_rear_wheel);
    step(128);
    ASSERT_TRUE(all_finite(b));
    // The joints only push bodies against each other: the assembly as a whole
    // falls at g.
    EXPECT_NEAR(momentum_y() - before, -32 * b->total_mass * 1.0, 1e-6 * b->total_mass);

    // Within the fork's travel and the swing arm's swing of the rest distances.
    const bike_spec& s = b->spec;
    EXPECT_NEAR(distance(bike_body_front_wheel), front0, s.fork_travel);
    double arm = len(of(s.rear_wheel.position) - of(s.swingarm_pivot));
    EXPECT_NEAR(distance(bike_body_rear_wheel), rear0, arm * s.linkage.swingarm_travel);
    double fork = dJointGetSliderPosition(b->joints[bike_joint_fork]);
    EXPECT_GE(fork, -s.fork_travel - 0.01);
    EXPECT_LE(fork, 0.01);
    double swing = dJointGetHingeAngle(b->joints[bike_joint_swingarm]);
    EXPECT_GE(swing, -s.linkage.swingarm_travel - 0.01);
    EXPECT_LE(swing, 0.01);
    for (int j : {bike_joint_front_axle, bike_joint_rear_axle, bike_joint_steering, bike_joint_swingarm}) {
        dVector3 a1, a2;
        dJointGetHingeAnchor(b->joints[j], a1);
        dJointGetHingeAnchor2(b->joints[j], a2);
        EXPECT_LT(len(of(a1) - of(a2)), 1e-3) << j;
    }
    // The wheels keep spinning about their axles, which stay across the frame.
    dVector3 axle;
    dJointGetHingeAxis(b->joints[bike_joint_rear_axle], axle);
    v3 spin = of(dBodyGetAngularVel(b->bodies[bike_body_rear_wheel]));
    EXPECT_GT(std::fabs(dot(spin, of(axle))), 100);
}

TEST_F(BikeWorld, ResetPutsEverythingBack) {
    bike_state* b = make();
    ASSERT_NE(b, nullptr);
    const double axis[3] = {0, 1, 0}, offset[3] = {10, 20, 30};
    bike_place(b, axis, 0.5, offset);
    dBodySetAngularVel(b->bodies[bike_body_front_wheel], 50, 0, 0);
    dBodyAddForce(b->bodies[bike_body_frame], 500, 0, 0);
    dJointSetHingeParam(b->joints[bike_joint_front_axle], dParamFMax, 250);
    step(40);
    bike_rider_detach(b);
    b->crash_timer = 300;
    b->crash_count = 2;
    b->controls.gear = 3;
    b->drivetrain.engine_speed = 900;
    b->activity = 0.1;
    b->deform_write = 17;
    b->last_contact_tick = 5;
    b->rider_velocity[2][1] = -40;
    g_race.tick = 777;
    bike_reset(b);

    for (int i = 0; i < bike_body_count; i++) {
        double rest[3];
        bike_rest_position(&b->spec, i, rest);
        dBodyID body = b->bodies[i];
        EXPECT_VEC_NEAR(of(dBodyGetPosition(body)), (v3{rest[0], rest[1], rest[2]}), 1e-12);
        EXPECT_EQ(dBodyGetQuaternion(body)[0], 1);
        EXPECT_EQ(len(of(dBodyGetLinearVel(body))), 0);
        EXPECT_EQ(len(of(dBodyGetAngularVel(body))), 0);
        EXPECT_EQ(len(of(dBodyGetForce(body))), 0);
        EXPECT_TRUE(dBodyIsEnabled(body));
    }
    EXPECT_TRUE(bike_rider_attached(b));
    EXPECT_EQ(dJointGetHingeParam(b->joints[bike_joint_front_axle], dParamFMax), 0);
    EXPECT_EQ(b->crash_timer, 0);
    EXPECT_EQ(b->crash_count, 0);
    EXPECT_EQ(b->controls.gear, 0);
    EXPECT_EQ(b->drivetrain.engine_speed, 0);
    EXPECT_EQ(b->activity, 1);
    EXPECT_EQ(b->deform_read, b->deform_write);
    EXPECT_EQ(b->last_contact_tick, -1);
    EXPECT_EQ(b->rider_velocity[2][1], 0);
    EXPECT_EQ(b->fall_tick, 777);
    EXPECT_EQ(b->landing_tick, 777);

    // The reset bike is whole again: a second of falling keeps its joints at rest.
    step(128);
    EXPECT_NEAR(dJointGetHingeAngle(b->joints[bike_joint_swingarm]), 0, 1e-6);
    EXPECT_NEAR(dJointGetSliderPosition(b->joints[bike_joint_fork]), 0, 1e-6);
}

TEST_F(BikeWorld, RefusesNonFinitePlacement) {
    bike_state* b = make();
    ASSERT_NE(b, nullptr);
    const double axis[3] = {0, 1, 0}, bad_axis[3] = {NAN, 1, 0}, offset[3] = {1, 2, 3},
                 bad_offset[3] = {1, INFINITY, 3};
    std::string log = logged_by([&] {
        bike_place(b, bad_axis, 1, offset);
        bike_place(b, axis, NAN, offset);
        bike_place(b, axis, 1, bad_offset);
        bike_translate(b, bad_offset);
    });
    EXPECT_NE(log.find("non-finite"), std::string::npos);
    EXPECT_TRUE(all_finite(b));
    EXPECT_NEAR(dBodyGetPosition(b->bodies[bike_body_frame])[2], b->spec.frame_position.z, 1e-12);
    // A zero axis is no turn at all.
    const double zero[3] = {0, 0, 0};
    bike_place(b, zero, 1, offset);
    EXPECT_NEAR(dBodyGetQuaternion(b->bodies[bike_body_frame])[0], 1, 1e-12);
    EXPECT_NEAR(dBodyGetPosition(b->bodies[bike_body_frame])[1], b->spec.frame_position.y + 2, 1e-12);
}

TEST_F(BikeWorld, NoNaNUnderRoughHandling) {
    bike_state* b = make("250sxf(2013)");
    ASSERT_NE(b, nullptr);
    unsigned seed = 12345;
    auto noise = [&] {
        seed = seed * 1103515245u + 12345u;
        return ((seed >> 8) & 0xffff) / 32768.0 - 1.0;  // -1..1
    };
    // Motors pushing into the stops, huge wheel spin, random shoves.
    dJointSetSliderParam(b->joints[bike_joint_fork], dParamVel, 100);
    dJointSetSliderParam(b->joints[bike_joint_fork], dParamFMax, 3000);
    dJointSetHingeParam(b->joints[bike_joint_swingarm], dParamVel, -100);
    dJointSetHingeParam(b->joints[bike_joint_swingarm], dParamFMax, 3000);
    dBodySetAngularVel(b->bodies[bike_body_front_wheel], -2000, 0, 0);
    for (int t = 0; t < 3000; t++) {
        for (dBodyID body : b->bodies) {
            dBodyAddForce(body, 2000 * noise(), 2000 * noise(), 2000 * noise());
            dBodyAddTorque(body, 300 * noise(), 300 * noise(), 300 * noise());
        }
        if (t % 500 == 100) bike_rider_detach(b);
        if (t % 500 == 300) {
            bike_rider_to_rest(b);
            bike_rider_attach(b);
        }
        bike_joint_feedback_compensation(b);
        physics_world_step(tick_length);
        ASSERT_TRUE(all_finite(b)) << "tick " << t;
    }
    double steer = dJointGetHingeAngle(b->joints[bike_joint_steering]);
    EXPECT_LT(std::fabs(steer), pi / 4 + 0.1);
}

// --- Activity --------------------------------------------------------------------------------------

TEST_F(BikeWorld, ParkFreezesAndTouchWakes) {
    bike_state* b = make();
    ASSERT_NE(b, nullptr);
    bike_park(b);
    EXPECT_EQ(b->activity, 0);
    EXPECT_FALSE(bike_active(b));
    double y = dBodyGetPosition(b->bodies[bike_body_frame])[1];
    step(32);
    for (dBodyID body : b->bodies) EXPECT_FALSE(dBodyIsEnabled(body));
    EXPECT_EQ(dBodyGetPosition(b->bodies[bike_body_frame])[1], y);

    bike_touch(b);
    EXPECT_EQ(b->activity, 1);
    for (dBodyID body : b->bodies) EXPECT_TRUE(dBodyIsEnabled(body));
    step(1);
    EXPECT_LT(dBodyGetPosition(b->bodies[bike_body_frame])[1], y);
}

TEST_F(BikeWorld, ActivityDecaysAndTouchFreezes) {
    bike_state* b = make();
    ASSERT_NE(b, nullptr);
    struct {
        double before, after;
        bool enabled;
    } decays[] = {{1, 1 - tick_length, true}, {0.26, 0.26 - tick_length, true}, {0.25 + tick_length / 2, 0.25 - tick_length / 2, false},
                  {0.004, 0, false}, {0, 0, false}};
    for (const auto& d : decays) {
        b->activity = d.before;
        bike_decay_activity(b);
        EXPECT_NEAR(b->activity, d.after, 1e-12) << d.before;
        if (d.before > 0) {
            EXPECT_EQ(dBodyIsEnabled(b->bodies[bike_body_rider]) != 0, d.enabled) << d.before;
        }
    }

    struct {
        double before, after;
        bool enabled;
    } touches[] = {{0.5, 0.5, true}, {0.1, 0.25, false}, {0.25, 0.25, false}};
    for (const auto& t : touches) {
        bike_wake(b);
        b->activity = t.before;
        bike_touch(b);
        EXPECT_EQ(b->activity, t.after) << t.before;
        EXPECT_EQ(dBodyIsEnabled(b->bodies[bike_body_frame]) != 0, t.enabled) << t.before;
    }
}

TEST_F(BikeWorld, WakingAFrozenBikeRestartsItsHistories) {
    bike_state* b = make();
    ASSERT_NE(b, nullptr);
    bike_park(b);
    // Replayed states give the bodies a velocity while frozen.
    bike_packed_fields e = rest_record(b), l = e;
    l.frame_position[0] += 0.5;
    g_race.tick = 900;
    bike_apply_packed(b, &l, &e, &l, 4, 5, nullptr);
    b->rider_velocity[1][0] = -99;
    b->fall_tick = 12;
    b->landing_tick = 3;
    dBodyAddForce(b->bodies[bike_body_frame], 100, 0, 0);
    bike_wake(b);
    for (auto& v : b->rider_velocity) EXPECT_NEAR(v[0], 0.5 / (4 * tick_length), 1e-9);
    EXPECT_EQ(b->fall_tick, 900);
    EXPECT_EQ(b->landing_tick, 900);
    EXPECT_EQ(len(of(dBodyGetForce(b->bodies[bike_body_frame]))), 0);

    // Waking an active bike leaves its history alone.
    b->rider_velocity[1][0] = -99;
    bike_wake(b);
    EXPECT_EQ(b->rider_velocity[1][0], -99);
}

// --- Replayed bikes -----------------------------------------------------------------------------------

bike_packed_fields posed_record(const bike_state* b) {
    bike_packed_fields r = rest_record(b);
    const double axis[3] = {0.3, 1, 0.2};
    double l = std::sqrt(0.09 + 1 + 0.04), angle = 1.1;
    r.frame_position[0] = 40;
    r.frame_position[1] = 12;
    r.frame_position[2] = 70;
    r.frame_orientation[0] = std::cos(angle / 2);
    for (int k = 0; k < 3; k++) r.frame_orientation[k + 1] = std::sin(angle / 2) * axis[k] / l;
    // The rider at its rest offset, turned with the frame.
    v3 o = of(b->spec.rider_position) - of(b->spec.frame_position);
    dQuaternion q = {r.frame_orientation[0], r.frame_orientation[1], r.frame_orientation[2], r.frame_orientation[3]};
    dMatrix3 R;
    dRfromQ(R, q);
    r.rider_offset[0] = R[0] * o.x + R[1] * o.y + R[2] * o.z;
    r.rider_offset[1] = R[4] * o.x + R[5] * o.y + R[6] * o.z;
    r.rider_offset[2] = R[8] * o.x + R[9] * o.y + R[10] * o.z;
    for (int k = 0; k < 4; k++) r.rider_orientation[k] = r.frame_orientation[k];
    r.steering_angle = 0.3;
    r.swingarm_angle = -0.2;
    r.fork_position = -0.4;
    r.front_axle_angle = 1.0;
    r.rear_axle_angle = -2.0;
    return r;
}

TEST_F(BikeWorld, PosedBodiesReadBackThroughTheJoints) {
    bike_state* b = make();
    ASSERT_NE(b, nullptr);
    bike_packed_fields r = posed_record(b);
    bike_pose_from_packed(b, &r, 5);
    EXPECT_NEAR(dJointGetHingeAngle(b->joints[bike_joint_steering]), 0.3, 1e-9);
    EXPECT_NEAR(dJointGetHingeAngle(b->joints[bike_joint_swingarm]), -0.2, 1e-9);
    EXPECT_NEAR(dJointGetSliderPosition(b->joints[bike_joint_fork]), -0.4, 1e-9);
    EXPECT_NEAR(dJointGetHingeAngle(b->joints[bike_joint_front_axle]), 1.0, 1e-9);
    EXPECT_NEAR(dJointGetHingeAngle(b->joints[bike_joint_rear_axle]), -2.0, 1e-9);
    for (int j : {bike_joint_front_axle, bike_joint_rear_axle, bike_joint_steering, bike_joint_swingarm}) {
        dVector3 a1, a2;
        dJointGetHingeAnchor(b->joints[j], a1);
        dJointGetHingeAnchor2(b->joints[j], a2);
        EXPECT_LT(len(of(a1) - of(a2)), 1e-9) << j;
    }
    dVector3 a1, a2;
    dJointGetHinge2Anchor(b->joints[bike_joint_rider_mount], a1);
    dJointGetHinge2Anchor2(b->joints[bike_joint_rider_mount], a2);
    EXPECT_LT(len(of(a1) - of(a2)), 1e-9);
    EXPECT_VEC_NEAR(of(dBodyGetPosition(b->bodies[bike_body_frame])), (v3{40, 12, 70}), 1e-12);
}

TEST_F(BikeWorld, FormatFourSlidesTheRider) {
    bike_state* b = make();
    ASSERT_NE(b, nullptr);
    bike_packed_fields r = rest_record(b);
    r.rider_slide = 0.5;
    bike_pose_from_packed(b, &r, 4);
    v3 d = unit(of(b->spec.rider_slide_direction));
    EXPECT_VEC_NEAR(of(dBodyGetPosition(b->bodies[bike_body_rider])), of(b->spec.rider_position) + d * 0.5, 1e-9);
    EXPECT_EQ(dBodyGetQuaternion(b->bodies[bike_body_rider])[0], 1);
}

TEST_F(BikeWorld, FrozenBikeGetsVelocitiesFromItsNeighbours) {
    bike_state* b = make();
    ASSERT_NE(b, nullptr);
    bike_park(b);
    bike_packed_fields r = posed_record(b);
    bike_apply_packed(b, &r, &r, &r, 3, 5, nullptr);
    for (dBodyID body : b->bodies) {
        EXPECT_EQ(len(of(dBodyGetLinearVel(body))), 0);
        EXPECT_EQ(len(of(dBodyGetAngularVel(body))), 0);
    }

    // L is E moved by (1, 0, 0.5) and turned 0.2 rad further about y, 4 ticks later.
    bike_packed_fields e = rest_record(b), l = e;
    l.frame_position[0] += 1;
    l.frame_position[2] += 0.5;
    l.frame_orientation[0] = std::cos(0.1);
    l.frame_orientation[2] = std::sin(0.1);
    bike_apply_packed(b, &e, &e, &l, 4, 5, nullptr);
    double span = 4 * tick_length;
    EXPECT_VEC_NEAR(of(dBodyGetLinearVel(b->bodies[bike_body_frame])), (v3{1, 0, 0.5}) * (1 / span), 1e-9);
    EXPECT_VEC_NEAR(of(dBodyGetAngularVel(b->bodies[bike_body_frame])), (v3{0, 0.2, 0}) * (1 / span), 1e-9);
    EXPECT_VEC_NEAR(of(dBodyGetAngularVel(b->bodies[bike_body_rear_wheel])), (v3{0, 0.2, 0}) * (1 / span), 1e-9);
    // The bodies stand where R (= E) puts them.
    EXPECT_VEC_NEAR(of(dBodyGetPosition(b->bodies[bike_body_frame])), of(b->spec.frame_position), 1e-12);
    // n below 1 counts as 1.
    bike_apply_packed(b, &e, &e, &l, 0, 5, nullptr);
    EXPECT_NEAR(dBodyGetLinearVel(b->bodies[bike_body_frame])[0], 1 / tick_length, 1e-9);
}

double flat_at_three(double, double) { return 3.0; }
double far_below(double, double) { return -100.0; }
double broken_ground(double, double) { return NAN; }

TEST_F(BikeWorld, FrozenBikeIsLiftedOutOfTheGround) {
    bike_state* b = make();
    ASSERT_NE(b, nullptr);
    bike_park(b);
    bike_packed_fields r = rest_record(b);
    r.frame_position[1] -= 2;
    bike_apply_packed(b, &r, &r, &r, 1, 5, flat_at_three);
    // The point one rear ring radius below the rear axle lies on the ground.
    double rear_y = dBodyGetPosition(b->bodies[bike_body_rear_wheel])[1];
    EXPECT_NEAR(rear_y - b->spec.rear_wheel.ring_radius, 3.0, 1e-9);
    EXPECT_NEAR(dBodyGetPosition(b->bodies[bike_body_frame])[1] - rear_y,
                b->spec.frame_position.y - b->spec.rear_wheel.position.y, 1e-9);
    for (bike_ground_height_fn ground : {far_below, broken_ground}) {
        bike_apply_packed(b, &r, &r, &r, 1, 5, ground);
        EXPECT_NEAR(dBodyGetPosition(b->bodies[bike_body_frame])[1], b->spec.frame_position.y - 2, 1e-9);
    }
}

TEST_F(BikeWorld, UnusableRecordValuesLeaveNoNaN) {
    bike_state* b = make();
    ASSERT_NE(b, nullptr);
    bike_park(b);
    const double qs[][4] = {{0, 0, 0, 0}, {NAN, 1, 0, 0}, {1, INFINITY, 0, 0}, {1e-5, 1e-5, 1e-5, 1e-5}};
    bike_packed_fields good = posed_record(b);
    bike_pose_from_packed(b, &good, 5);
    v3 frame_at = of(dBodyGetPosition(b->bodies[bike_body_frame]));
    v3 rider_at = of(dBodyGetPosition(b->bodies[bike_body_rider]));
    for (const auto& q : qs) {
        bike_packed_fields r = good;
        r.frame_position[0] = 0;  // would move the frame if the record were used
        memcpy(r.frame_orientation, q, sizeof q);
        memcpy(r.rider_orientation, q, sizeof q);
        r.steering_angle = NAN;
        r.fork_position = -INFINITY;
        r.front_axle_angle = NAN;
        r.engine_rpm = NAN;
        bike_apply_packed(b, &r, &r, &r, NAN, 5, nullptr);
        ASSERT_TRUE(all_finite(b));
        EXPECT_VEC_NEAR(of(dBodyGetPosition(b->bodies[bike_body_frame])), frame_at, 1e-12);
        EXPECT_VEC_NEAR(of(dBodyGetPosition(b->bodies[bike_body_rider])), rider_at, 1e-12);
        EXPECT_NEAR(dJointGetHingeAngle(b->joints[bike_joint_steering]), 0, 1e-9);
        EXPECT_TRUE(std::isfinite(b->drivetrain.engine_speed));
    }
    // A record that is merely not normalised is normalised.
    bike_packed_fields r = rest_record(b);
    r.frame_orientation[0] = 3;
    bike_apply_packed(b, &r, &r, &r, 1, 5, nullptr);
    EXPECT_NEAR(dBodyGetQuaternion(b->bodies[bike_body_frame])[0], 1, 1e-12);
}

TEST_F(BikeWorld, StatusDownDetachesAndUpReattachesInPlace) {
    bike_state* b = make();
    ASSERT_NE(b, nullptr);
    bike_park(b);
    bike_packed_fields r = posed_record(b);
    struct {
        int code, timer;
    } downs[] = {{15, 128}, {0, 1}, {8, 68}};
    for (const auto& d : downs) {
        r.status = 7 | d.code << 4;
        b->controls.throttle = 0.7;
        bike_apply_packed(b, &r, &r, &r, 1, 5, nullptr);
        EXPECT_EQ(b->crash_timer, d.timer) << d.code;
        EXPECT_FALSE(bike_rider_attached(b));
        EXPECT_EQ(b->controls.throttle, 0);
    }
    // Up again, with the rider body recorded somewhere off its rest place.
    r.rider_offset[1] += 0.3;
    r.status = 2 | 8 | 9 << 4;
    double dab_before = b->controls.dab_progress;
    bike_apply_packed(b, &r, &r, &r, 1, 5, nullptr);
    EXPECT_TRUE(bike_rider_attached(b));
    EXPECT_EQ(b->crash_timer, 0);
    EXPECT_EQ(b->controls.gear, 2);
    EXPECT_NEAR(b->controls.throttle, 0.6, 1e-12);
    EXPECT_GT(b->controls.dab_progress, dab_before);
    v3 expected = of(r.frame_position) + of(r.rider_offset);
    EXPECT_VEC_NEAR(of(dBodyGetPosition(b->bodies[bike_body_rider])), expected, 1e-12);
}

TEST_F(BikeWorld, FiveSpeedBikesHaveNoSixthGear) {
    struct {
        const char* bike;
        int index, gear;
    } cases[] = {{"yz250f(2017)", 5, 4}, {"yz250f(2017)", 6, 4}, {"yz250f(2017)", 4, 4}, {"yz250f(2017)", 0, 0},
                 {"kx125", 6, 5},        {"kx125", 5, 5},        {"rs50cr", 3, 3}};
    for (const auto& c : cases) {
        bike_state* b = make(c.bike);
        ASSERT_NE(b, nullptr);
        bike_park(b);
        bike_packed_fields r = rest_record(b);
        r.status = c.index;
        bike_apply_packed(b, &r, &r, &r, 1, 5, nullptr);
        EXPECT_EQ(b->controls.gear, c.gear) << c.bike << " " << c.index;
        EXPECT_GT(b->spec.gear_ratio[b->controls.gear], 0);
    }
    EXPECT_LE(bikes_[0]->spec.gear_ratio[5], 0);
}

TEST_F(BikeWorld, SimulatedBikeIsPulledHarderAsItsActivityDecays) {
    bike_state* b = make();
    ASSERT_NE(b, nullptr);
    struct {
        double activity, k, c;
    } cases[] = {{1.0, 0, 0}, {0.76, 0, 0}, {0.6, 3000, 300}, {0.3, 23000, 500}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.activity);
        bike_reset(b);
        b->activity = c.activity;
        dBodySetLinearVel(b->bodies[bike_body_frame], 0, 0, 1);
        bike_packed_fields r = rest_record(b);
        r.frame_position[0] += 0.05;
        r.frame_orientation[0] = std::cos(0.005);
        r.frame_orientation[2] = std::sin(0.005);  // 0.01 rad about y
        bike_apply_packed(b, &r, &r, &r, 1, 5, nullptr);
        EXPECT_VEC_NEAR(of(dBodyGetForce(b->bodies[bike_body_frame])), (v3{c.k * 0.05, 0, -c.c}), 1e-6);
        EXPECT_VEC_NEAR(of(dBodyGetTorque(b->bodies[bike_body_frame])), (v3{0, c.k * 0.01, 0}), 1e-6);
        // The bodies themselves are not moved.
        EXPECT_NEAR(dBodyGetPosition(b->bodies[bike_body_frame])[0], 0, 1e-12);
    }
    // Far from the record the pull is limited to 2500.
    bike_reset(b);
    b->activity = 0.3;
    bike_packed_fields r = rest_record(b);
    r.frame_position[0] += 10;
    bike_apply_packed(b, &r, &r, &r, 1, 5, nullptr);
    EXPECT_NEAR(len(of(dBodyGetForce(b->bodies[bike_body_frame]))), 2500, 1e-9);
}

TEST_F(BikeWorld, SimulatedBikeTakesItsControlsFromTheRecord) {
    bike_state* b = make();
    ASSERT_NE(b, nullptr);
    v3 rest_offset = of(b->spec.rider_position) - of(b->spec.frame_position);
    struct {
        double steer, dy, dz;
        int status;
        double want_steer, want_dab, want_lean;
    } cases[] = {
        {0.4, 0, 0, 0, 0.1, 0, 0},             // steering error 0.4 at no rate
        {-8, 0, 0, 0, -0.25 * pi / 4, 0, 0},   // clamped into the joint's range first
        {0, 0, 0.2, 0, 0, 0, 0.2},             // rider 0.2 ft back
        {0, -0.4, 0, 0, 0, 0, 0.2},            // rider 0.4 ft low, no dab: half
        {0, -0.4, 0, 8, 0, 1, 0.4},            // with dab: all of it
        {0, -0.4, 3, 8, 0, 1, 1},              // clamped
        {0, -0.4, 0, 7 | 8, 0, 0, 0},          // rider down: no dab, no lean
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        bike_reset(b);
        bike_packed_fields r = rest_record(b);
        r.steering_angle = c.steer;
        r.rider_offset[1] = rest_offset.y + c.dy;
        r.rider_offset[2] = rest_offset.z + c.dz;
        r.status = c.status;
        r.engine_rpm = 6000;
        bike_apply_packed(b, &r, &r, &r, 1, 5, nullptr);
        EXPECT_NEAR(b->controls.steer, c.want_steer, 1e-9);
        EXPECT_EQ(b->controls.dab, c.want_dab);
        EXPECT_NEAR(b->controls.lean, c.want_lean, 1e-9);
        EXPECT_NEAR(b->drivetrain.engine_speed, 6000 * 2 * pi / 60, 1e-9);
    }
}

TEST_F(BikeWorld, FeedbackCompensationCancelsTheJointsOnTheFrame) {
    bike_state* b = make();
    ASSERT_NE(b, nullptr);
    // Joint feedback as a step would leave it: a force on the fork lower and
    // on the front wheel through the front axle, and a torque on the rider.
    b->feedback[bike_joint_front_axle].f1[1] = 100;
    b->feedback[bike_joint_front_axle].f2[2] = -40;
    b->feedback[bike_joint_rider_mount].t1[0] = 7;
    bike_joint_feedback_compensation(b);
    v3 frame = of(b->spec.frame_position);
    v3 lower = of(b->spec.fork_lower_position) - frame, wheel = of(b->spec.front_wheel.position) - frame;
    // moment = r x f for each force, plus the torque
    v3 moment = {lower.y * 0 - lower.z * 100 + wheel.y * -40 - wheel.z * 0 + 7, lower.z * 0 - lower.x * 0 + wheel.z * 0 - wheel.x * -40,
                 lower.x * 100 - lower.y * 0 + wheel.x * 0 - wheel.y * 0};
    EXPECT_VEC_NEAR(of(dBodyGetForce(b->bodies[bike_body_frame])), (v3{0, -100, 40}), 1e-12);
    EXPECT_VEC_NEAR(of(dBodyGetTorque(b->bodies[bike_body_frame])), moment * -1, 1e-12);

    // With the rider off the bike nothing is applied.
    bike_reset(b);
    b->feedback[bike_joint_front_axle].f1[1] = 100;
    bike_rider_detach(b);
    bike_joint_feedback_compensation(b);
    EXPECT_EQ(len(of(dBodyGetForce(b->bodies[bike_body_frame]))), 0);
}

TEST_F(BikeWorld, EverythingABikeTakesIsGivenBack) {
    auto cycle = [] {
        ASSERT_TRUE(physics_world_create());
        bike_state* a = bike_create("cr125", 0, "7", nullptr);
        bike_state* b = bike_create("cr125", 1, "8", nullptr);
        ASSERT_TRUE(a && b);
        ASSERT_NE(a->shapes[bike_body_frame], nullptr);
        a->race.passages.assign(40, -1);
        for (int i = 0; i < 16; i++) physics_world_step(tick_length);
        bike_destroy(a);
        bike_destroy(b);
        physics_world_destroy();
        shape_cache_free();
    };
    physics_world_destroy();
    cycle();  // first use of the folders and the library's own set-up
    setenv("DW_CHECK_ALLOC", "1", 1);
    mem_reset_for_tests();
    ASSERT_TRUE(mem_tracking());
    cycle();
    EXPECT_EQ(mem_tracked_count(), 0);
    unsetenv("DW_CHECK_ALLOC");
    mem_reset_for_tests();
}

// --- Shape files ------------------------------------------------------------------------------------------

class ShapeFiles : public ::testing::Test {
protected:
    void TearDown() override { shape_cache_free(); }
    std::string fixture(const std::string& name, const std::string& text) {
        std::string path = ::testing::TempDir() + name;
        write_file(path, text);
        return path;
    }
    collision_shape* read(const std::string& path, std::string* log) {
        collision_shape* shape = nullptr;
        *log = logged_by([&] {
            data_stream* s = data_open(path.c_str(), "rb");
            ASSERT_NE(s, nullptr);
            shape = shape_read(s, path.c_str());
            data_close(s);
        });
        return shape;
    }
};

TEST_F(ShapeFiles, ReadsSpheresAndTheirBoundingRadius) {
    std::string path = fixture("good.shp", "3\n 0 0 0 0.5 0.9 2500 250\n\t1 2 2 0.5 0.1 100 10\n-1e0 0 0 1.25 0 0 0");
    std::string log;
    collision_shape* s = read(path, &log);
    ASSERT_NE(s, nullptr) << log;
    EXPECT_EQ(s->count, 3);
    EXPECT_EQ(s->spheres[1].centre[2], 2);
    EXPECT_EQ(s->spheres[1].radius, 0.5);
    EXPECT_EQ(s->spheres[1].friction, 0.1);
    EXPECT_EQ(s->spheres[1].stiffness, 100);
    EXPECT_EQ(s->spheres[1].damping, 10);
    EXPECT_DOUBLE_EQ(s->bounding_radius, 3.5);
    shape_free(s);
}

TEST_F(ShapeFiles, RefusesMalformedFiles) {
    std::string long_word(200, '1');
    struct {
        const char* name;
        std::string text;
        const char* reason;
    } cases[] = {
        {"empty", "", "no sphere count"},
        {"words", "two\n", "no sphere count"},
        {"negative", "-3\n0 0 0 1 1 1 1\n", "is not 1 to"},
        {"zero", "0\n", "is not 1 to"},
        {"absurd", "2000000000\n0 0 0 1 1 1 1\n", "is not 1 to"},
        {"overflow", "99999999999999999999999\n", "no sphere count"},
        {"short", "2\n0 0 0 1 1 1 1\n0 0 0 1\n", "data ends in sphere 2"},
        {"nan", "1\n0 nan 0 1 1 1 1\n", "value 2 of sphere 1 is not a finite number"},
        {"inf", "1\n0 0 0 inf 1 1 1\n", "value 4 of sphere 1"},
        {"huge", "1\n0 0 0 1 1e999 1 1\n", "value 5 of sphere 1"},
        {"junk", "1\n0 0 0 1 1 1x 1\n", "value 6 of sphere 1"},
        {"long", "1\n0 0 0 1 1 1 " + long_word + "\n", "value 7 of sphere 1"},
        {"radius", "1\n0 0 0 0 1 1 1\n", "radius not above 0"},
        {"friction", "1\n0 0 0 1 -0.5 1 1\n", "negative friction"},
        {"far", "1\n0 0 500 1 1 1 1\n", "too far"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = fixture(std::string("bad_") + c.name + ".shp", c.text);
        std::string log;
        collision_shape* s = read(path, &log);
        EXPECT_EQ(s, nullptr);
        EXPECT_NE(log.find(c.reason), std::string::npos) << log;
        EXPECT_NE(log.find(path), std::string::npos) << log;
        shape_free(s);
    }
}

TEST_F(ShapeFiles, CacheLoadsOnceAndRemembersAbsentFiles) {
    std::string path = fixture("cached.shp", "1\n0 0 0 0.5 1 2500 250\n");
    int before = shape_cache_count();
    const collision_shape* a = shape_get(path.c_str());
    ASSERT_NE(a, nullptr);
    remove(path.c_str());
    EXPECT_EQ(shape_get(path.c_str()), a);  // not read again
    std::string missing = ::testing::TempDir() + "no_such.shp";
    std::string log = logged_by([&] {
        EXPECT_EQ(shape_get(missing.c_str()), nullptr);
        EXPECT_EQ(shape_get(missing.c_str()), nullptr);
    });
    EXPECT_EQ(shape_cache_count(), before + 2);
    // Reported once.
    size_t first = log.find("can't open");
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find("can't open", first + 1), std::string::npos) << log;
    EXPECT_EQ(shape_get(nullptr), nullptr);
    EXPECT_EQ(shape_get(""), nullptr);
}

TEST_F(ShapeFiles, InstancesCopyAndPlaceTheSpheres) {
    std::string path = fixture("inst.shp", "2\n1 0 0 0.5 1 2500 250\n0 0 -2 0.25 1 2500 250\n");
    const collision_shape* shape = shape_get(path.c_str());
    ASSERT_NE(shape, nullptr);
    shape_instance* i = shape_instance_create(shape);
    ASSERT_NE(i, nullptr);
    i->spheres[0].radius = 9;  // a change to the copy
    EXPECT_EQ(shape->spheres[0].radius, 0.5);
    dMatrix3 R;
    dRFromAxisAndAngle(R, 0, 1, 0, pi / 2);  // +x turns to -z
    const double at[3] = {10, 1, 5};
    shape_instance_place(i, at, R);
    EXPECT_VEC_NEAR(of(i->world[0]), (v3{10, 1, 4}), 1e-12);
    EXPECT_VEC_NEAR(of(i->world[1]), (v3{8, 1, 5}), 1e-12);
    shape_instance_destroy(i);
    EXPECT_EQ(shape_instance_create(nullptr), nullptr);
    shape_instance_destroy(nullptr);
}

// --- dwtool bike ----------------------------------------------------------------------------------------------

TEST(DwtoolBike, PrintsTheAssembly) {
    physics_world_destroy();
    char arg0[] = "bike", arg1[] = "yz250f(2017)";
    char* argv[] = {arg0, arg1, nullptr};
    ::testing::internal::CaptureStdout();
    int rc = cmd_bike(2, argv);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(g_world, nullptr);  // its own world, gone again
    EXPECT_NE(out.find("bike yz250f(2017)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("5 gears"), std::string::npos) << out;
    EXPECT_NE(out.find("total mass 12.6862 slug"), std::string::npos) << out;
    EXPECT_NE(out.find("steering         hinge   anchor (0, 2.9, 2.16) axis (0, 0.892841, 0.450371) stops -0.785398..0.785398"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("rider mount      hinge2  anchor (0, 4.5, -50)"), std::string::npos) << out;
    // The front wheel's 3 x 3 inertia: Ixx first.
    EXPECT_NE(out.find("front wheel  at (0, 1.09, 1.11) mass 0.5625\n    [   0.315798   0.000000   0.000000 ]"),
              std::string::npos)
        << out;
    shape_cache_free();
}

TEST(DwtoolBike, UnknownNameSaysWhatItUses) {
    physics_world_destroy();
    char arg0[] = "bike", arg1[] = "YZ250F(2017)";
    char* argv[] = {arg0, arg1, nullptr};
    ::testing::internal::CaptureStdout();
    int rc = cmd_bike(2, argv);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 0);
    std::string sub = bike_substitute("YZ250F(2017)")->name;
    EXPECT_EQ(out.find("bike 'YZ250F(2017)' is not in the catalogue: using '" + sub + "' instead\n"), 0u) << out;
    EXPECT_NE(out.find("bike " + sub + "\n"), std::string::npos);
    shape_cache_free();
}

TEST(DwtoolBike, WrongUsage) {
    char arg0[] = "bike";
    char* argv[] = {arg0, nullptr};
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(cmd_bike(1, argv), 2);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "usage: dwtool bike NAME\n");
}

}  // namespace
