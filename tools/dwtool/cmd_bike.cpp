// dwtool bike NAME: builds the named bike in a fresh physics world and prints
// the bike spec's main values, the assembled bodies (mass, inertia about the body's
// origin), the total mass, the joints' anchors, axes and stops in world
// space at the rest placement, and the collision shapes found.
#include <cstdio>
#include <cstring>

#include "dwtool/commands.h"
#include "sim/bike.h"
#include "sim/world.h"

namespace {

const char* const body_names[bike_body_count] = {"frame",      "front wheel", "rear wheel", "fork upper",
                                                 "fork lower", "swing arm",   "rider"};

// Rounding noise below a millionth prints as 0 (not -0 or 1e-17).
double shown(double v) { return v > -5e-7 && v < 5e-7 ? 0.0 : v; }

void print_vec(const char* label, const dReal* v) {
    printf("%s(%.6g, %.6g, %.6g)", label, shown(v[0]), shown(v[1]), shown(v[2]));
}

void print_spec(const bike_spec* s, int gears) {
    printf("engine class %s, %d gears:", s->engine_class, gears);
    for (int i = 0; i < gears; i++) printf(" %.5g", (double)s->gear_ratio[i]);
    printf("\nprimary ratio %.5g, sprockets %g/%g\n", (double)s->primary_ratio, (double)s->front_teeth,
           (double)s->rear_teeth);
    const bike_wheel_spec* wheels[2] = {&s->front_wheel, &s->rear_wheel};
    for (int i = 0; i < 2; i++) {
        const bike_wheel_spec* w = wheels[i];
        printf("%s wheel: centre (%g, %g, %g), ring radius %g, section radius %g, tyre and rim %g slug, "
               "hub radius %g, hub %g slug\n",
               i == 0 ? "front" : "rear", (double)w->position.x, (double)w->position.y, (double)w->position.z,
               (double)w->ring_radius, (double)w->section_radius, (double)w->tyre_mass, (double)w->hub_radius,
               (double)w->hub_mass);
    }
    printf("frame mass %g slug, box %g x %g x %g ft; rider mass %g slug\n", (double)s->frame_mass,
           (double)s->frame_box.x, (double)s->frame_box.y, (double)s->frame_box.z, (double)s->rider_mass);
    printf("fork body mass %g slug, travel %g ft; swing arm side mass %g slug, travel %g rad\n",
           (double)s->fork_body_mass, (double)s->fork_travel, (double)s->swingarm_mass,
           (double)s->linkage.swingarm_travel);
    printf("engine inertia %g slug ft^2\n", (double)s->engine_inertia);
}

void print_bodies(const bike_state* b) {
    printf("\nbodies (mass in slug; inertia in slug ft^2 about the body's origin):\n");
    for (int i = 0; i < bike_body_count; i++) {
        dMass m;
        dBodyGetMass(b->bodies[i], &m);
        printf("%-12s ", body_names[i]);
        print_vec("at ", dBodyGetPosition(b->bodies[i]));
        printf(" mass %.6g\n", (double)m.mass);
        for (int r = 0; r < 3; r++)
            printf("    [ %10.6f %10.6f %10.6f ]\n", shown(m.I[r * 4]), shown(m.I[r * 4 + 1]), shown(m.I[r * 4 + 2]));
    }
    printf("total mass %.6g slug\n", b->total_mass);
}

void print_joints(const bike_state* b) {
    printf("\njoints (world space, at rest):\n");
    const char* hinge_names[] = {"front axle", "rear axle", "steering", nullptr, "swing arm pivot"};
    for (int i : {bike_joint_front_axle, bike_joint_rear_axle, bike_joint_steering, bike_joint_swingarm}) {
        dJointID j = b->joints[i];
        dVector3 anchor, axis;
        dJointGetHingeAnchor(j, anchor);
        dJointGetHingeAxis(j, axis);
        printf("%-16s hinge   ", hinge_names[i]);
        print_vec("anchor ", anchor);
        print_vec(" axis ", axis);
        double lo = dJointGetHingeParam(j, dParamLoStop), hi = dJointGetHingeParam(j, dParamHiStop);
        if (lo > -dInfinity && hi < dInfinity)
            printf(" stops %.6g..%.6g rad\n", lo, hi);
        else
            printf(" free\n");
    }
    dJointID fork = b->joints[bike_joint_fork];
    dVector3 axis;
    dJointGetSliderAxis(fork, axis);
    printf("%-16s slider  ", "fork");
    print_vec("axis ", axis);
    printf(" stops %.6g..%.6g ft\n", (double)dJointGetSliderParam(fork, dParamLoStop),
           (double)dJointGetSliderParam(fork, dParamHiStop));
    dJointID mount = b->joints[bike_joint_rider_mount];
    dVector3 anchor, axis1, axis2;
    dJointGetHinge2Anchor(mount, anchor);
    dJointGetHinge2Axis1(mount, axis1);
    dJointGetHinge2Axis2(mount, axis2);
    printf("%-16s hinge2  ", "rider mount");
    print_vec("anchor ", anchor);
    print_vec(" axis1 ", axis1);
    print_vec(" axis2 ", axis2);
    printf(" first-axis stops %.6g..%.6g\n", (double)dJointGetHinge2Param(mount, dParamLoStop),
           (double)dJointGetHinge2Param(mount, dParamHiStop));
}

void print_shapes(const bike_state* b) {
    printf("\ncollision shapes:\n");
    for (int i = 0; i < bike_body_count; i++) {
        const shape_instance* s = b->shapes[i];
        if (s)
            printf("%-12s %s: %d spheres, bounding radius %.6g ft\n", body_names[i], s->shape->name, s->count,
                   s->shape->bounding_radius);
        else
            printf("%-12s none\n", body_names[i]);
    }
}

}  // namespace

int cmd_bike(int argc, char** argv) {
    if (argc != 2) return dwtool_usage("bike");
    const char* name = argv[1];
    const bike_spec* found = bike_find(name);
    if (!found) printf("bike '%s' is not in the catalogue: using '%s' instead\n", name, bike_substitute(name)->name);
    bool own_world = !g_world;
    if (own_world && !physics_world_create()) {
        fprintf(stderr, "dwtool bike: the physics library can't be used (see the log)\n");
        return 1;
    }
    bike_state* b = bike_create(name, 0, "", nullptr);
    if (!b) {
        if (own_world) physics_world_destroy();
        fprintf(stderr, "dwtool bike: can't build the bike\n");
        return 1;
    }
    printf("bike %s\n", b->spec.name);
    print_spec(&b->spec, bike_gear_count(&b->spec));
    print_bodies(b);
    print_joints(b);
    print_shapes(b);
    bike_destroy(b);
    if (own_world) physics_world_destroy();
    return 0;
}
