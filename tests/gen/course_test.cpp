// The default course as data: a closed loop of the right length that never
// comes near itself, a start straight for a full gate, rideable jumps of
// every kind, berms and off-camber turns that lean the right way, and the
// queries later tools rely on (locate, ground height, surface kinds).
#include "gen/course.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

constexpr float to_deg = 57.29578f;
constexpr float gravity = 32.0f;  // ft/s^2
constexpr float ft_per_mph = 1.4666667f;

const course* rabbithill() {
    static course c;
    static bool built = false;
    if (!built) {
        char error[200] = "";
        EXPECT_TRUE(course_build(&c, &rabbithill_course, error, sizeof error)) << error;
        built = true;
    }
    return &c;
}

// Distance between two course positions, the short way round.
float course_gap(const course* c, float a, float b) {
    float d = std::fabs(course_wrap(c, a) - course_wrap(c, b));
    return std::fmin(d, c->length - d);
}

// Slope (degrees, along the course) of the surface between s0 and s1.
float slope_deg(const course* c, float s0, float s1) {
    return std::atan((course_at(c, s1).y - course_at(c, s0).y) / (s1 - s0)) * to_deg;
}

float face_length(float height, float deg) { return height / std::tan(deg / to_deg); }

}  // namespace

TEST(Course, ClosedSmoothLoopThroughItsPoints) {
    const course* c = rabbithill();
    const course_def& d = rabbithill_course;
    EXPECT_GE(c->length, 3000.0f);
    EXPECT_LE(c->length, 5000.0f);
    for (int k = 0; k < d.point_count; k++) {
        course_sample p = course_at(c, c->point_s[k]);
        EXPECT_NEAR(p.x, d.points[k].x, 0.05f) << "point " << k;
        EXPECT_NEAR(p.z, d.points[k].z, 0.05f) << "point " << k;
    }
    // No gap and no kink anywhere, the seam at s = 0 included; no turn so
    // tight that a bike could not follow it.
    course_sample prev = course_at(c, c->length - 1);
    for (float s = 0; s < c->length; s += 1) {
        course_sample p = course_at(c, s);
        EXPECT_LE(std::hypot(p.x - prev.x, p.z - prev.z), 1.02f) << "s " << s;
        EXPECT_GE(p.tx * prev.tx + p.tz * prev.tz, std::cos(1.0f / 35.0f)) << "s " << s;
        EXPECT_LE(std::fabs(p.curvature), 1.0f / 35.0f) << "s " << s;
        prev = p;
    }
    // The whole course with its shoulders lies inside the field.
    float world = course_world_size(&d);
    for (float s = 0; s < c->length; s += 5) {
        course_sample p = course_at(c, s);
        float margin = p.width / 2 + d.shoulder + 100;
        EXPECT_TRUE(p.x > margin && p.z > margin && p.x < world - margin && p.z < world - margin) << "s " << s;
    }
}

TEST(Course, NeverComesCloseToItself) {
    // Two stretches of the course that are far apart along it must be far
    // apart on the ground too, or their shoulders would run into each other.
    const course* c = rabbithill();
    float need = 2 * rabbithill_course.shoulder;
    for (float a = 0; a < c->length; a += 4) {
        course_sample p = course_at(c, a);
        for (float b = a + 300; b < c->length; b += 4) {
            if (course_gap(c, a, b) < 300) continue;
            course_sample q = course_at(c, b);
            float gap = std::hypot(p.x - q.x, p.z - q.z) - p.width / 2 - q.width / 2;
            ASSERT_GE(gap, need) << "s " << a << " and " << b;
        }
    }
}

TEST(Course, StartStraightHoldsAFullGate) {
    const course* c = rabbithill();
    const course_def& d = rabbithill_course;
    ASSERT_GE(d.gate_spots, 20);
    ASSERT_GE(d.gate_pitch, 3.0f);
    float gate = course_gate_s(c);
    course_sample at_gate = course_at(c, gate);
    // Riders fill rows 10 ft apart behind the gate (160 riders in all), then
    // race 150 ft before anything else happens.
    int rows = (160 + d.gate_spots - 1) / d.gate_spots;
    float behind = rows * 10.0f + 3;
    for (float u = -behind; u <= 150; u += 1) {
        course_sample p = course_at(c, gate + u);
        EXPECT_LE(std::fabs(p.curvature), 1.0f / 1000) << "u " << u;
        EXPECT_NEAR(p.y, at_gate.y, 0.25f) << "u " << u;
        EXPECT_EQ(p.bank, 0.0f) << "u " << u;
        EXPECT_GE(p.width, d.gate_spots * d.gate_pitch + 2) << "u " << u;
    }
    float px = 0, pz = 0;
    for (int i = 0; i < d.gate_spots; i++) {
        float x, y, z, heading;
        course_gate_spot(c, i, &x, &y, &z, &heading);
        course_place where = course_locate(c, x, z);
        EXPECT_NEAR(course_gap(c, where.s, gate - 3), 0, 0.05f) << "spot " << i;
        EXPECT_LE(std::fabs(where.lateral), at_gate.width / 2 - d.gate_pitch / 2) << "spot " << i;
        EXPECT_NEAR(y, course_surface_height(c, where.s, where.lateral), 0.01f);
        // A rider on the spot faces along the course.
        EXPECT_NEAR(-std::sin(heading), at_gate.tx, 1e-3f);
        EXPECT_NEAR(-std::cos(heading), at_gate.tz, 1e-3f);
        if (i > 0) {
            EXPECT_NEAR(std::hypot(x - px, z - pz), d.gate_pitch, 1e-3f);
        } else {
            EXPECT_LT(where.lateral, 0);  // spot 0 is on the left
        }
        px = x;
        pz = z;
    }
}

TEST(Course, HasTheFeaturesOfAMotocrossTrack) {
    const course_def& d = rabbithill_course;
    int counts[course_feature_kind_count] = {};
    for (int k = 0; k < d.feature_count; k++) counts[d.features[k].kind]++;
    EXPECT_EQ(counts[course_start], 1);
    EXPECT_GE(counts[course_tabletop] + counts[course_double] + counts[course_step_up], 6);
    EXPECT_GE(counts[course_tabletop], 1);
    EXPECT_GE(counts[course_double], 1);
    EXPECT_GE(counts[course_step_up], 1);
    EXPECT_GE(counts[course_whoops] + counts[course_rollers], 1);
    EXPECT_GE(counts[course_berm], 3);
    EXPECT_GE(counts[course_off_camber], 1);
    EXPECT_GE(counts[course_sand], 1);

    // Something to climb and something to ride down: 5 degree grades over
    // at least 60 ft both ways.
    const course* c = rabbithill();
    float steepest_up = 0, steepest_down = 0;
    for (float s = 0; s < c->length; s += 10) {
        float g = std::atan((course_at(c, s + 60).elevation - course_at(c, s).elevation) / 60) * to_deg;
        steepest_up = std::fmax(steepest_up, g);
        steepest_down = std::fmin(steepest_down, g);
    }
    EXPECT_GE(steepest_up, 5.0f);
    EXPECT_LE(steepest_down, -5.0f);
}

TEST(Course, JumpsAreRideable) {
    const course* c = rabbithill();
    const course_def& d = rabbithill_course;
    for (int k = 0; k < d.feature_count; k++) {
        const course_feature& f = d.features[k];
        if (!course_feature_is_jump(f.kind)) continue;
        SCOPED_TRACE(testing::Message() << course_feature_name(f.kind) << " " << k);
        float s0 = course_feature_start(c, k), len = course_feature_length(c, k);
        for (float u = 0; u <= len; u += 1) EXPECT_LE(std::fabs(course_at(c, s0 + u).curvature), 1.0f / 150);

        // The take-off face, measured over its middle half.
        float face = face_length(f.height, f.face_deg);
        float lip = s0 + face;
        float take_off = slope_deg(c, lip - 0.75f * face, lip - 0.25f * face);
        EXPECT_GE(take_off, 20.0f);
        EXPECT_LE(take_off, 35.0f);
        EXPECT_GE(f.height, 3.0f);
        EXPECT_LE(f.height, 9.0f);

        // The landing slope, after the table or the landing's top.
        float rise = f.kind == course_tabletop ? f.height : f.land_height;
        float down = face_length(rise, f.land_deg);
        float land_start = f.kind == course_tabletop ? lip + f.top : lip + f.gap + f.top;
        float landing = -slope_deg(c, land_start + 0.25f * down, land_start + 0.75f * down);
        EXPECT_GE(landing, 12.0f);
        EXPECT_LE(landing, 30.0f);

        // The speed that carries a bike from the lip to the far end of the
        // table or onto the landing's crest.
        float reach = f.kind == course_tabletop ? f.top : f.gap;
        float climb = course_at(c, lip + reach).y - course_at(c, lip).y;
        float a = take_off / to_deg;
        float lift = reach * std::tan(a) - climb;
        ASSERT_GT(lift, 0.0f);
        float speed = std::sqrt(gravity * reach * reach / (2 * std::cos(a) * std::cos(a) * lift)) / ft_per_mph;
        EXPECT_GE(speed, 25.0f);
        EXPECT_LE(speed, 45.0f);
    }
}

TEST(Course, FeaturesKeepTheirDistance) {
    // Jumps, whoops and rollers follow one another with room to land and set
    // up, and stay out of the start and the turns.
    const course* c = rabbithill();
    const course_def& d = rabbithill_course;
    auto bumpy = [](course_feature_kind k) {
        return course_feature_is_jump(k) || k == course_whoops || k == course_rollers;
    };
    // Distance from s to the range of feature b (0 inside it).
    auto distance = [&](float s, int b) {
        float b0 = course_feature_start(c, b) - (d.features[b].kind == course_start ? d.features[b].top : 0);
        float len = course_feature_start(c, b) + course_feature_length(c, b) - b0;
        if (course_wrap(c, s - b0) <= len) return 0.0f;
        return std::fmin(course_wrap(c, b0 - s), course_wrap(c, s - (b0 + len)));
    };
    for (int a = 0; a < d.feature_count; a++) {
        if (!bumpy(d.features[a].kind)) continue;
        float a0 = course_feature_start(c, a), len = course_feature_length(c, a);
        for (int b = 0; b < d.feature_count; b++) {
            if (b == a || d.features[b].kind == course_sand) continue;
            float room = bumpy(d.features[b].kind) ? 20.0f : 5.0f;
            float nearest = 1e9f;
            for (float u = 0; u <= len; u += 0.5f) nearest = std::fmin(nearest, distance(a0 + u, b));
            EXPECT_GE(nearest, room) << course_feature_name(d.features[a].kind) << " " << a << " and "
                                     << course_feature_name(d.features[b].kind) << " " << b;
        }
    }
}

TEST(Course, TurnsLeanTheRightWay) {
    const course* c = rabbithill();
    const course_def& d = rabbithill_course;
    for (int k = 0; k < d.feature_count; k++) {
        const course_feature& f = d.features[k];
        if (f.kind != course_berm && f.kind != course_off_camber) continue;
        SCOPED_TRACE(testing::Message() << course_feature_name(f.kind) << " " << k);
        float s0 = course_feature_start(c, k);
        course_sample mid = course_at(c, s0 + f.length / 2);
        ASSERT_GT(std::fabs(mid.curvature), 1.0f / 200) << "not in a turn";
        // Raised on the left (bank < 0) means the outside of a right-hand
        // turn (curvature > 0), and the other way round.
        bool outside_up = (mid.bank < 0) == (mid.curvature > 0);
        float bank = std::fabs(mid.bank) * to_deg;
        if (f.kind == course_berm) {
            EXPECT_TRUE(outside_up);
            EXPECT_GE(bank, 20.0f);
            EXPECT_LE(bank, 40.0f);
        } else {
            EXPECT_FALSE(outside_up);
            EXPECT_GE(bank, 3.0f);
            EXPECT_LE(bank, 15.0f);
        }
        // The outside edge stands higher (or lower) than the inside by the bank.
        float outside = mid.curvature > 0 ? -mid.width / 2 : mid.width / 2;
        float rise = course_surface_height(c, mid.s, outside) - course_surface_height(c, mid.s, -outside);
        EXPECT_NEAR(rise, (outside_up ? 1 : -1) * mid.width * std::tan(std::fabs(mid.bank)), 0.01f);
    }
}

TEST(Course, LocateAndGroundAgreeWithTheSamples) {
    const course* c = rabbithill();
    const float offsets[] = {-15, -4, 0, 6, 14};
    for (float s = 0; s < c->length; s += 53) {
        course_sample p = course_at(c, s);
        for (float l : offsets) {
            float x = p.x + l * p.rx, z = p.z + l * p.rz;
            course_place where = course_locate(c, x, z);
            EXPECT_NEAR(course_gap(c, where.s, s), 0, 0.3f) << "s " << s << " lateral " << l;
            EXPECT_NEAR(where.lateral, l, 0.05f) << "s " << s;
            if (std::fabs(l) < p.width / 2 - 0.5f) {
                EXPECT_NEAR(course_ground_height(c, x, z), course_surface_height(c, s, l), 0.05f) << "s " << s;
            }
        }
        // No step at the track's edges.
        for (float side : {-1.0f, 1.0f}) {
            float e = side * p.width / 2;
            float inner = course_ground_height(c, p.x + (e - side * 0.05f) * p.rx, p.z + (e - side * 0.05f) * p.rz);
            float outer = course_ground_height(c, p.x + (e + side * 0.05f) * p.rx, p.z + (e + side * 0.05f) * p.rz);
            EXPECT_NEAR(inner, outer, 0.1f) << "s " << s;
        }
    }
    // Far from the course the ground is left as it was.
    EXPECT_EQ(course_ground_height(c, 20, 20), course_natural_height(&rabbithill_course, 20, 20));
}

TEST(Course, SurfaceKinds) {
    const course* c = rabbithill();
    const course_def& d = rabbithill_course;
    auto middle_of = [&](course_feature_kind kind) {
        for (int k = 0; k < d.feature_count; k++)
            if (d.features[k].kind == kind) return course_feature_start(c, k) + course_feature_length(c, k) / 2;
        return -1.0f;
    };
    float gate = course_gate_s(c);
    float half = course_at(c, gate).width / 2;
    struct {
        float s, lateral;
        course_surface kind;
    } cases[] = {
        {gate, 0, surface_hardpack},
        {gate, half - 0.5f, surface_loose},  // the loose edge of the track
        {gate, -(half + 1), surface_loose},  // and its shoulder
        {gate, half + 10, surface_grass},
        {middle_of(course_sand), 0, surface_sand},
        {middle_of(course_berm), 0, surface_loose},
        {middle_of(course_tabletop), 0, surface_hardpack},
    };
    for (const auto& t : cases)
        EXPECT_EQ(course_surface_at(c, t.s, t.lateral), t.kind) << "s " << t.s << " lateral " << t.lateral;
}

TEST(Course, UnusableDefinitionsAreRefused) {
    course_feature bad_anchor = rabbithill_course.features[0];
    bad_anchor.anchor = rabbithill_course.point_count;
    course_width_knot bad_knot = {-1, 0, 20};
    course_def too_few = rabbithill_course, feature = rabbithill_course, knot = rabbithill_course;
    too_few.point_count = 3;
    feature.features = &bad_anchor;
    feature.feature_count = 1;
    knot.widths = &bad_knot;
    knot.width_count = 1;
    for (const course_def* d : {&too_few, &feature, &knot}) {
        course c;
        char error[200] = "";
        EXPECT_FALSE(course_build(&c, d, error, sizeof error));
        EXPECT_NE(strstr(error, "rabbithill"), nullptr) << error;
    }
}
