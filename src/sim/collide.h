// Collisions of bikes with the solid objects of the track and with each other.
//
// Everything here works on spheres: the sphere sets of the collision shapes
// (sim/shape.h) and, for a wheel, a proxy sphere of the tyre's section radius
// on the point of the wheel's ring circle nearest to whatever it meets. Two
// touching spheres either make a soft contact joint for the coming world
// step, push the two bodies apart with a penalty force at once, or only
// report the touch. The tests run before the world step, after the ground
// contacts: a wheel that does not touch the ground takes the contact of a
// collision into its wheel record, so the brakes and the riding aids treat a
// wheel resting on another bike as touching.
//
// Bike-to-bike contacts also keep each bike's collision hold counter, which
// the riding aids and the crash rules read to tell who caused a collision:
// a fast bike that rams another with its front gets 256 ticks, two bikes
// meeting front to front get 192 ticks each. The counter is signed and is
// counted towards 0 by the rider step. A negative counter marks a struck
// bike: a bike hit by another whose counter was raised for ramming it gets
// collision_hold_struck (-640), unless its own counter is positive (it was
// ramming too, and stays the cause); a struck bike hit again is lowered to
// -640 again. While the counter is negative the rider does not crash from
// contacts (here: the object rule) and the rider step's dab and realign aids
// help harder.
//
// Units: feet, slugs, seconds, pounds-force. Rotations are row-major 3 x 3
// matrices in ODE's dMatrix3 layout (rows four wide).
#pragma once

#include <ode/ode.h>

struct bike_state;
struct bike_wheel;
struct shape_instance;

// Part bits of a bike: which parts a collision touched.
enum {
    collide_part_frame = 1,
    collide_part_front_wheel = 2,
    collide_part_rear_wheel = 4,
    collide_part_fork_upper = 8,
    collide_part_fork_lower = 16,
    collide_part_swingarm = 32,
    collide_part_rider = 64,
    collide_part_front = collide_part_front_wheel | collide_part_fork_lower,  // what rams
};

// Contact modes.
enum {
    collide_mode_joint = 0,  // soft contact joints in the contact group, for the next step
    collide_mode_force = 1,  // penalty forces added to the bodies at once
    collide_mode_test = 2,   // report only: no joint, no force, no wheel record
};

constexpr double collide_max_force = 1000;     // lbf, a penalty force per sphere pair at most
constexpr double collide_crash_speed = 20;     // ft/s: the rider hitting an object faster crashes
constexpr double collide_fast_speed = 10;      // ft/s of the frame: a bike this fast can be the cause
constexpr double collide_moving_speed = 5;     // ft/s of the frame: a bike slower than this stands
constexpr double collide_pair_margin = 0.25;   // ft added to the bounding test of two bikes

// The tyre's proxy sphere.
constexpr double collide_tyre_friction = 1;
constexpr double collide_tyre_stiffness = 25000;  // lbf/ft
constexpr double collide_tyre_damping = 2500;     // lbf s/ft

// Collision hold counter values, ticks.
enum {
    collision_hold_ram = 256,      // a fast bike that rammed another with its front
    collision_hold_head_on = 192,  // each fast bike of a front-to-front meeting
    collision_hold_struck = -640,  // the bike that was rammed
};

// A sphere in the world with its contact properties.
struct collide_sphere {
    double centre[3];  // world
    double radius;     // ft, above 0
    double friction;   // coefficient
    double stiffness;  // lbf/ft
    double damping;    // lbf s/ft
};

// What a touching sphere pair reports; the same fields, in the same order,
// as the contact part of a wheel record.
struct collide_contact {
    double point[3];     // between the two spheres, world
    double velocity[3];  // of the first body at the point (zero without a body)
    double normal[3];    // unit, from the first sphere towards the second
    double depth;        // overlap of the two spheres, ft
    dJointFeedback feedback;  // zeroed
};

// One solid taking part in a collision: a collision shape fixed to a body,
// or standing still (no body), or a bike's wheel, which collides as its tyre.
// Make one with collide_solid or collide_bike_part.
struct collide_part {
    dBodyID body;             // null for a static object
    shape_instance* shape;    // the spheres; null for a wheel
    bike_wheel* wheel;        // the wheel; null for a shape
    const double* position;   // [3]: the body's position (the wheel's centre)
    const double* rotation;   // [12]: the body's rotation
};

// What the collision tests did since the counters were last cleared: for the
// tests and for a look at the cost of a race.
struct collide_counters {
    long long sphere_pairs;  // sphere pairs measured (or ruled out with others by a part's box or reach)
    long long touches;       // of them touching
    long long joints;        // contact joints made
    long long forces;        // penalty forces applied
    double largest_force;    // lbf, the largest penalty force applied
};
extern collide_counters g_collide_counters;
void collide_counters_clear();

// --- Spheres and parts ---------------------------------------------------------------

// Sphere a of body A against sphere b of body B (a null body is the static
// world). They touch when the distance L between the centres is below the
// sum of the radii; the normal runs from a towards b (centres that coincide
// take the direction from A's position to B's, or straight up when those
// coincide too), the depth is the overlap and the contact point lies halfway
// into it. Friction, stiffness and damping are the smaller of the two.
// Joint mode makes a soft contact joint that pushes B along the normal and A
// against it; force mode adds the penalty force (approach speed x damping +
// depth x stiffness, clamped to +-collide_max_force) along the normal to B
// and against it to A, each only to a body that exists and is enabled; test
// mode does nothing. Fills `contact` (null: not wanted) when they touch.
// Whether they touch.
bool collide_sphere_pair(dBodyID body_a, const collide_sphere* a, dBodyID body_b, const collide_sphere* b, int mode,
                         collide_contact* contact);

// A shape at a place: `body` null for a static object. The position and
// rotation arrays must outlive the part.
collide_part collide_solid(shape_instance* shape, dBodyID body, const double position[3], const double rotation[12]);

// A part of a bike by body (bike_body_*): the two wheel bodies give their
// wheels, the others their collision shapes. False when the part is absent
// (no body, no shape, a wheel without a ring) or not finite.
bool collide_bike_part(bike_state* bike, int body, collide_part* part);

// Part a against part b, a counting as the first:
// - two shapes: rejected at once when their positions are at least the sum
//   of the bounding radii apart; else every sphere against every sphere;
// - a wheel and a shape: rejected at once when the wheel centre is at least
//   ring + section radius + the shape's bounding radius from the shape's
//   position; else each sphere of the shape against the tyre's proxy sphere
//   for it (on the ring point nearest to the sphere's centre, or, for a centre
//   on the axle line, on each of four fixed ring points square to the axle);
// - two wheels: rejected when the centres are at least the sum of both
//   outer radii apart; else the two ring points nearest to each other, found
//   by projecting from one ring to the other and back, as proxy spheres.
// The same body on both sides touches nothing. Outside test mode, the
// deepest contact of a wheel replaces its wheel record's contact fields when
// the wheel has no contact yet (depth 0): normal towards the wheel, the
// wheel's own velocity at the point, force record zeroed. `deepest` (null:
// not wanted) gets the deepest touching pair's contact. Whether they touch.
bool collide_parts(const collide_part* a, const collide_part* b, int mode, collide_contact* deepest);

// Two shapes (collide_parts for the common case of two shape instances,
// e.g. a fallen rider against his own frame).
bool collide_shape_shape(shape_instance* shape_a, dBodyID body_a, const double position_a[3],
                         const double rotation_a[12], shape_instance* shape_b, dBodyID body_b,
                         const double position_b[3], const double rotation_b[12], int mode);

// --- Against bikes ------------------------------------------------------------------------

// Part s (of a bike or an object) against every present part of bike b in
// the order front wheel, rear wheel, frame, fork upper, fork lower, swing
// arm, rider, s counting as the first. Returns b's part bits touched.
int collide_shape_bike(const collide_part* s, bike_state* b, int mode);

// A track object (a statue, a starting gate) against every part of a bike,
// with contact joints: the object's shape, its body (null when static), its
// position and rotation. Returns the bike's part bits touched. When the
// rider was touched, is riding (crash timer 0), is not marked as struck
// (hold counter not negative) and moves faster than collide_crash_speed
// relative to the object body (absolutely for a static object), the rider
// crashes: crash_requested is set for the rider step to carry out.
int collide_bike_object(bike_state* bike, shape_instance* shape, dBodyID body, const double position[3],
                        const double rotation[12]);

// Bike a against bike b at the current tick (g_race.tick); every part of a
// against b. The mode is force when either bike already touched another bike
// in this tick, joint otherwise; with `online` (a race on a server, a being
// the local rider) a's rear wheel, frame, swing arm and rider only test.
// When b was touched, the collision hold counters are kept (a fast bike that
// rammed the other with its front wheel or fork lower: at least 256 and the
// other marked as struck; front against front: each fast bike at least 192)
// and both bikes' contact ticks are set. Returns b's part bits touched by a;
// 0 at once when the two cannot touch (collide_bikes_may_touch).
int collide_bike_bike(bike_state* a, bike_state* b, bool online);

// --- Pairs of bikes ------------------------------------------------------------------------

// The radius around the frame's position that holds every part of the bike
// (wheels as their tyres); -1 when the bike's bodies are not finite.
double collide_bike_radius(const bike_state* bike);

// The cheap test before any sphere: false when the two frames are further
// apart than the sum of the bikes' radii plus collide_pair_margin.
bool collide_bikes_may_touch(const bike_state* a, const bike_state* b);

// Sorts rider slots (indices into g_race.bikes) by the speed of their
// bike's frame, fastest first (heap sort in place; empty slots last). At
// most max_riders entries are sorted.
void collide_sort_by_speed(int* slots, int count);

// Bike against bike for the simulated riders of a tick without a server:
// sorts the slots as above, then tests every pair (i, j), i < j, in that
// order, with the online flag clear; pairs that fail the cheap test cost no
// more than that. Each bike's parts are made ready once a tick (placed
// shapes, tyres), whatever number of bikes it meets. Returns the number of
// pairs in contact.
int collide_pairs(int* slots, int count);
