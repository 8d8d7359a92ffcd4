// Wheel-ground contact: the tyres and the bike's other bodies against the
// terrain height field.
//
// Before every world step each simulated bike is tested against the ground.
// A wheel is a torus (core circle of the ring radius about the axle, tube of
// the section radius) and yields at most one contact: the triangle point
// deepest inside the torus. That contact becomes a soft contact joint whose
// stiffness grows with the cube of the tyre's squash and whose friction
// follows the surface tile's curve of slip speed; the tyre also feels the
// tile's rolling resistance. The frame, the fork, the swing arm and the rider
// touch the ground through the spheres of their collision shapes.
//
// The wheel record each wheel keeps (point, slip velocity, normal, depth,
// contact force) is what the brakes, the engine, the riding aids, the roost
// and the ground deformation read afterwards.
//
// Ground cells: grid point (i, j) lies at (i s, H(i, j), j s); each cell is
// split along the diagonal from (i, j) to (i+1, j+1) when i and j have the
// same parity and along the other diagonal otherwise, as terrain_height does.
// Heights beyond the border are the border's.
#pragma once

struct terrain;
struct tile;
struct bike_state;

// Where a body touches the ground.
struct ground_hit {
    double point[3];   // the deepest penetrating point of the ground, world
    double normal[3];  // unit, from the ground towards the body
    double depth;      // ft; 0 when nothing touches
};

// Stiffness and damping of the shape spheres' ground contacts.
constexpr double contact_shape_stiffness = 2500;  // lbf/ft
constexpr double contact_shape_damping = 250;     // lbf s/ft

// --- Geometry -----------------------------------------------------------------------

// The torus of a tyre against the ground under it: every triangle of the
// cells under the square of half-width ring + section radius around the
// centre, faces, edges and corners. The deepest point over all of them wins;
// false (depth 0) when no point lies inside the torus. A core circle that has
// gone below a face counts deeper than the section radius. The axle need not
// be unit length; a centre or axle that is not finite, or a zero axle, touches
// nothing.
bool contact_torus_ground(const terrain* t, const double centre[3], const double axle[3], double ring_radius,
                          double section_radius, ground_hit* hit);

// A sphere against the ground: the deepest penetrating point among the
// triangles under the square of half-width radius around the centre, with
// its normal and depth (radius minus the distance from the centre, or plus
// it when the centre lies under a face). False when nothing touches.
bool contact_sphere_ground(const terrain* t, const double centre[3], double radius, ground_hit* hit);

// --- Tyre model -----------------------------------------------------------------------

// The tyre's stiffness (lbf/ft) and damping (lbf s/ft) at a squash depth:
// with q = depth / section radius (at most 1), 1000 + 24000 q^3 and
// 200 + 2300 q^3.
void contact_tyre_softness(double depth, double section_radius, double* stiffness, double* damping);

// The rigid-body library's error reduction and constraint force mixing that
// make a contact act as a spring and damper over one tick:
// h k / (h k + c) and 1 / (h k + c).
void contact_soft_parameters(double stiffness, double damping, double* erp, double* cfm);

// The friction coefficient of a tile at a slip speed (ft/s), times a scale.
// The curve is interpolated in squared speed; the coefficient may exceed 1.
double contact_friction(const tile* surface, double slip_speed, double scale);

// The first friction direction of a tyre contact (unit): across the slip
// (normal x slip velocity), or for a wheel that barely slips (that cross
// product shorter than 1/32) along the wheel (normal x axle). False when it
// is zero too; the rigid-body library then picks the directions.
bool contact_friction_direction(const double normal[3], const double slip[3], const double axle[3],
                                double direction[3]);

// The friction scale of a bike: 1, or with arcade physics
// 1 - 0.375 min(4 |lean| / pi, 1), so a bike leaned 45 degrees or more keeps
// 62.5% of the grip.
double contact_friction_scale(const bike_state* bike);

// Rolling resistance force on a wheel moving at `velocity` over a tile, with
// the contact normal and the squash q (depth / section radius, 0..1): the
// resistance a + (b - a) q from the tile's curve at the ground speed w (the
// velocity without its normal part), against the motion, fading out
// linearly below 1 ft/s. Zero when the wheel stands.
void contact_rolling_resistance(const tile* surface, const double velocity[3], const double normal[3], double squash,
                                double force[3]);

// --- Per bike -------------------------------------------------------------------------

// The torus test for one wheel (bike_wheel_front or bike_wheel_rear),
// filling its wheel record: point, normal, depth and the wheel's velocity
// at the point (the slip velocity). Without contact only the depth changes
// (to 0). No joint is made: the roost uses this for replayed bikes.
bool contact_wheel_query(bike_state* bike, int wheel, const terrain* t);

// The query, then for a touching wheel the soft contact joint with the
// tile's friction and the rolling resistance force. A wheel without contact
// has its contact force record zeroed.
bool contact_wheel(bike_state* bike, int wheel, const terrain* t);

// The collision shape of one body (frame, fork upper, fork lower, swing arm
// or rider) against the ground: a contact joint for every sphere that
// touches, with the sphere's friction and the shape contact softness.
// Whether any sphere touched.
bool contact_shape(bike_state* bike, int body, const terrain* t);

// All ground contacts of a simulated bike, before the world step: the front
// and rear wheel, then the frame, fork upper, fork lower, swing arm and rider
// shapes. A ground contact of the fork, swing arm or rider sets the crash
// mark to 1 if it was 0; the rider touching the ground upside down at more
// than 5 ft/s, while riding and not marked as struck, asks the rider step
// for a crash (bike_state::crash_requested). Whether anything touched.
bool contact_ground(bike_state* bike, const terrain* t);
