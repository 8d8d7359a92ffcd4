// Ground deformation: the wheels dig ruts and pile up berms.
//
// Where a wheel pushes hard against the ground a sample is queued in the
// bike's ring (bike_state::deform_ring): the contact point and the
// horizontal push, scaled up as the wheel gets going. Once the bike has moved
// on (its frame more than 10 ft from the sample) the sample digs a little
// dirt out at its point and piles it up a short way off in the direction the
// wheel pushed it, unless that would pile dirt up a slope steeper than the
// surface allows. The amounts come from the surface tile's erosion
// parameters and the erosion setting (0..100, 0 off). Every later ground
// contact sees the changed heights.
#pragma once

struct terrain;
struct bike_state;
struct tile_erosion;

// The frame must be this far (horizontally) from a sample before it is dug.
constexpr double deform_wait_distance = 10;  // ft
// Samples dug per bike and tick at most.
enum { deform_samples_per_tick = 4 };

// Records a sample for the front and then the rear wheel (after the world
// step, so the contact force records hold what the ground did this tick).
// A sample is kept only when its push exceeds the tile's erode_lower and
// 1/32 lbf; a full ring drops it.
void deform_record(bike_state* bike, const terrain* t);

// Digs up to four samples the bike has left behind; returns how many were
// taken from the ring (a sample whose pile point lies too far uphill is taken
// but changes nothing).
int deform_apply(bike_state* bike, terrain* t, double erosion);

// The deformation step of a bike: record, then apply. Nothing at all when the
// erosion amount is not above 0.
void deform_step(bike_state* bike, terrain* t, double erosion);

// Samples waiting in the bike's ring.
int deform_pending(const bike_state* bike);

// How much of a push counts at a wheel speed: 0 at erode_off_speed, rising to
// 1 at erode_on_speed (a step at that speed when the two are equal).
double deform_speed_ramp(const tile_erosion* e, double speed);

// How far the dirt of a push of magnitude `push` is moved: 0 at erode_lower,
// rising to erode_displacement at erode_upper (a step when the two are equal).
double deform_displacement(const tile_erosion* e, double push);
