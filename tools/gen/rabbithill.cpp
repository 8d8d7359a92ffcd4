// "rabbithill", the default course: a serpentine motocross track of about
// 4600 ft on a 1536 ft square of rolling grassland, climbing over and down the
// flank of the hill it is named after.
//
// Riding order, with the control points of each stretch (the map has x to the
// right and z downwards):
//   0-3    the start straight, heading +x along z = 1300: the gate stands
//          20 ft after point 0 on a 90 ft wide level pad
//   4-8    turn 1, a left-hand 180 degree berm
//   8-11   heading -x: a table-top, then a double
//   11-15  turn 2, a right-hand 180 degree berm
//   15-18  heading +x through sand: whoops
//   18-22  turn 3, a left-hand berm
//   22-24  heading -x: a step-up
//   24-26  turn 4, a slightly off-camber right-hander, then uphill (26-27)
//   27-29  turn 5, an off-camber right-hander on the side of the hill
//   29-31  over the top: a rhythm section of rollers
//   31-35  turn 6, a left-hand berm on the far side of the hill
//   35-40  the long downhill heading -x: a double, then a big table-top
//   40-42  turn 7, an off-camber left-hander at the foot of the hill
//   42-47  heading +z along x = 200: a step-up, a double, a table-top
//   47-49  the last turn, a left-hand berm onto the start straight (49-0)
#include "gen/course.h"

namespace {

const course_point points[] = {
    {360, 1300}, {480, 1300},       {620, 1300}, {780, 1300},                     // 0-3
    {860, 1300}, {909.5f, 1279.5f}, {930, 1230}, {909.5f, 1180.5f}, {860, 1160},  // 4-8
    {720, 1160}, {600, 1160},                                                     // 9-10
    {480, 1160}, {434, 1141},       {415, 1095}, {434, 1049},       {480, 1030},  // 11-15
    {600, 1030}, {740, 1030},                                                     // 16-17
    {860, 1030}, {909.5f, 1009.5f}, {930, 960},  {909.5f, 910.5f},  {860, 890},   // 18-22
    {740, 890},                                                                   // 23
    {600, 890},  {550.5f, 870.5f},  {530, 820},                                   // 24-26
    {530, 670},  {550.5f, 620.5f},  {600, 600},                                   // 27-29
    {740, 600},                                                                   // 30
    {880, 600},  {929.5f, 579.5f},  {950, 530},  {929.5f, 480.5f},  {880, 460},   // 31-35
    {760, 460},  {640, 460},        {520, 460},  {400, 460},                      // 36-39
    {280, 460},  {223.4f, 483.4f},  {200, 540},                                   // 40-42
    {200, 680},  {200, 820},        {200, 960},  {200, 1100},                     // 43-46
    {200, 1220}, {223.4f, 1276.6f}, {280, 1300}, {300, 1300},       {330, 1300},  // 47-51
};

const course_width_knot widths[] = {
    {49, 0, 24},   // out of the last turn
    {49, 20, 90},  // the starting pad
    {0, 210, 90},  //
    {0, 420, 26},  // narrowing into turn 1
    {4, 0, 24},    // the usual width from here on
};

// Shapes by kind, so the table below reads as a list of features.
constexpr course_feature start_pad(int anchor, float offset, float behind, float ahead) {
    return {course_start, anchor, offset, ahead, 0, 0, 0, 0, behind, 0, 0, 0};
}
constexpr course_feature tabletop(int anchor, float offset, float height, float face, float table, float land) {
    return {course_tabletop, anchor, offset, 0, height, face, 0, 0, table, land, 0, 0};
}
constexpr course_feature double_jump(int anchor, float offset, float height, float face, float gap, float land_height,
                                     float land) {
    return {course_double, anchor, offset, 0, height, face, gap, land_height, 3, land, 35, 0};
}
constexpr course_feature step_up(int anchor, float offset, float height, float face, float gap, float plateau_height,
                                 float plateau, float land) {
    return {course_step_up, anchor, offset, 0, height, face, gap, plateau_height, plateau, land, 35, 0};
}
constexpr course_feature whoops(int anchor, float offset, int count, float spacing, float height) {
    return {course_whoops, anchor, offset, 0, height, 0, spacing, 0, 0, 0, 0, count};
}
constexpr course_feature rollers(int anchor, float offset, int count, float spacing, float base, float height) {
    return {course_rollers, anchor, offset, 0, height, 0, spacing, 0, base, 0, 0, count};
}
constexpr course_feature berm(int anchor, float offset, float length, float bank) {
    return {course_berm, anchor, offset, length, 0, bank, 0, 0, 0, 0, 0, 0};
}
constexpr course_feature off_camber(int anchor, float offset, float length, float bank) {
    return {course_off_camber, anchor, offset, length, 0, bank, 0, 0, 0, 0, 0, 0};
}
constexpr course_feature sand(int anchor, float offset, float length) {
    return {course_sand, anchor, offset, length, 0, 0, 0, 0, 0, 0, 0, 0};
}

// Heights and lengths in ft, angles in degrees. Jump faces of 24-28 degrees
// with lips of 3.5-7 ft (32 on the downhill, which takes some of it away);
// the gaps clear at roughly 26-35 mph.
const course_feature features[] = {
    start_pad(0, 20, 80, 190),
    berm(4, -10, 240, 28),
    tabletop(8, 40, 6, 26, 36, 20),
    double_jump(8, 175, 5.5f, 28, 60, 6, 22),
    berm(11, -10, 225, 32),
    sand(15, 20, 330),
    whoops(15, 80, 14, 11, 1.8f),
    berm(18, -10, 240, 25),
    step_up(22, 30, 3.5f, 24, 30, 8, 30, 18),
    off_camber(24, -10, 130, 5),
    off_camber(27, -10, 130, 7),
    rollers(29, 40, 6, 30, 24, 3),
    berm(31, -10, 240, 30),
    double_jump(36, 20, 5, 25, 50, 5, 20),
    tabletop(38, 0, 7, 32, 55, 22),
    off_camber(40, -10, 145, 6),
    step_up(43, 0, 4, 25, 32, 8.5f, 40, 20),
    double_jump(44, 60, 5, 27, 56, 5.5f, 22),
    tabletop(45, 60, 4.5f, 24, 34, 20),
    berm(47, -15, 80, 26),
};

const course_hill hills[] = {
    {730, 540, 65, 150},    // Rabbit Hill
    {1250, 1000, 25, 220},  // east
    {250, 230, 20, 180},    // north-west
    {1180, 240, 30, 200},   // north-east
    {700, 1480, 12, 260},   // south
};

}  // namespace

const course_def rabbithill_course = {
    "rabbithill",
    "Rabbit Hill",
    9,     // 1025 x 1025 samples
    1.5f,  // ft apart: a 1536 ft square
    points,
    int(sizeof points / sizeof points[0]),
    24,
    widths,
    int(sizeof widths / sizeof widths[0]),
    features,
    int(sizeof features / sizeof features[0]),
    30,
    hills,
    int(sizeof hills / sizeof hills[0]),
    1.2f,
    0x5eed2a66u,
    14,
    50,
    24,
    3.2f,
    {-0.55f, 0.6f, 0.58f},
};
