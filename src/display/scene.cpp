#include "display/scene.h"

#include "display/capsule_frame.h"
#include "watching/trial_drive.h"
#include "watching/value_probe.h"
#include "world/floor.h"
#include "world/world.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>

namespace quorvel {

namespace {

constexpr GLfloat lightPosition[] = {150, 20, 100, 1};
constexpr GLfloat lightAmbient[] = {0.2f, 0.2f, 0.2f, 1.0f};
constexpr GLfloat lightDiffuse[] = {0.7f, 0.7f, 0.7f, 1.0f};
constexpr GLfloat specular[] = {0.9f, 0.9f, 0.9f, 0.8f};
constexpr GLint shininess = 128;

constexpr double obstacleHeight = 5;
constexpr double rodRadius = 1;
constexpr double goalHeight = 10;
constexpr double rayHeight = 2.5;
constexpr double shortestDrawnEdgeSquared = 0.01;

// Created by the first picture and kept for the whole process; they belong to no context.
GLUquadric* sphereQuadric = nullptr;
GLUquadric* cylinderQuadric = nullptr;

void multiplyFrame(Vec2 start, Vec2 heading, double z0) {
    const auto m = capsuleFrame(start, heading, z0);
    glMultMatrixd(m.data());
}

void makeQuadrics() {
    if (sphereQuadric == nullptr) {
        sphereQuadric = gluNewQuadric();
    }
    if (cylinderQuadric == nullptr) {
        cylinderQuadric = gluNewQuadric();
    }
}

void drawCapsule(double width, double length, int detail) {
    gluCylinder(cylinderQuadric, width / 2, width / 2, length, detail, detail);
    gluSphere(sphereQuadric, width / 2, detail, detail);
    glTranslated(0, 0, length);
    gluSphere(sphereQuadric, width / 2, detail, detail);
}

// With a value map, every square takes its value's colour, unlit, on the scale from low to
// high.
void drawFloor(const ValueMap* valueMap, double low, double high) {
    glColor3d(0.1, 0.0, 1.0);
    if (valueMap != nullptr) {
        glDisable(GL_LIGHTING);
    }
    glPushMatrix();
    glLoadIdentity();
    glTranslated(Floor::firstCentre, Floor::firstCentre, 0);
    const double h = Floor::squareHalfSide;
    for (int column = 0; column < Floor::squares; ++column) {
        glPushMatrix();
        for (int row = 0; row < Floor::squares; ++row) {
            if (valueMap != nullptr) {
                const Colour c = valueColour((valueMap->values[column][row] - low) / (high - low));
                glColor3d(c.r, c.g, c.b);
            }
            glBegin(GL_QUADS);
            glVertex3d(h, h, 0);
            glVertex3d(-h, h, 0);
            glVertex3d(-h, -h, 0);
            glVertex3d(h, -h, 0);
            glEnd();
            glBegin(GL_QUADS);
            glVertex3d(-h, h, -1);
            glVertex3d(h, h, -1);
            glVertex3d(h, -h, -1);
            glVertex3d(-h, -h, -1);
            glEnd();
            glTranslated(0, Floor::pitch, 0);
        }
        glPopMatrix();
        glTranslated(Floor::pitch, 0, 0);
    }
    glPopMatrix();
    if (valueMap != nullptr) {
        glEnable(GL_LIGHTING);
    }
}

constexpr double pathHeight = 0.5;

// Each earlier drive as a line through the robot's centres, unlit, the newest brightest.
void drawEarlierPaths(const std::deque<TrialPath>& paths) {
    glDisable(GL_LIGHTING);
    glLineWidth(2);
    glPushMatrix();
    glLoadIdentity();
    const int count = static_cast<int>(paths.size());
    for (int i = 0; i < count; ++i) {
        const double shade = 0.3 + 0.35 * (i + 1) / count;
        glColor3d(shade, shade, shade * 1.1);
        glBegin(GL_LINE_STRIP);
        for (const Vec2 c : paths[static_cast<std::size_t>(i)].centres) {
            glVertex3d(c.x, c.y, pathHeight);
        }
        glEnd();
    }
    glPopMatrix();
    glLineWidth(1);
    glEnable(GL_LIGHTING);
}

} // namespace

void SetupProjection(int width, int height) {
    glClearColor(0, 0, 0, 0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_COLOR_MATERIAL);
    glMatrixMode(GL_PROJECTION);
    const Vec2 half = visibleHalfExtent(width, height);
    glOrtho(-half.x, half.x, -half.y, half.y, -10, 1000);
    glMatrixMode(GL_MODELVIEW);
    gluLookAt(0, 0, 150, 0, 0, 0, 0, 1, 0);
}

Vec2 visibleHalfExtent(int width, int height) {
    const double aspect = static_cast<double>(width) / height;
    return aspect >= 1 ? Vec2{visibleHalf * aspect, visibleHalf}
                       : Vec2{visibleHalf, visibleHalf / aspect};
}

Vec2 arenaPoint(double x, double y, int width, int height) {
    const Vec2 half = visibleHalfExtent(width, height);
    return {(2 * x / width - 1) * half.x, (1 - 2 * y / height) * half.y};
}

void resetPictureState() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glNormal3f(0, 0, 1);
    glColor4f(1, 1, 1, 1);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glDisable(GL_LIGHT0);
    glDisable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glDisable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
}

Colour valueColour(double value) {
    if (value != value) {
        return {0.5, 0.5, 0.5};
    }
    // Dark blue as the floor, cyan, nearly white.
    constexpr Colour stops[] = {{0.06, 0.04, 0.36}, {0.0, 0.62, 0.80}, {0.92, 1.0, 1.0}};
    const double t = std::clamp(value, 0.0, 1.0) * 2;
    const int i = std::min(static_cast<int>(t), 1);
    const double f = t - i;
    const Colour& a = stops[i];
    const Colour& b = stops[i + 1];
    return {a.r + (b.r - a.r) * f, a.g + (b.g - a.g) * f, a.b + (b.b - a.b) * f};
}

void beginPicture(int width, int height) {
    resetPictureState();
    SetupProjection(width, height);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    // Given while the model-view matrix holds the camera: the light stays at (150, 20, -50)
    // in eye space, below the floor, so the floor gets ambient light only.
    glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
    glLightfv(GL_LIGHT0, GL_AMBIENT, lightAmbient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, lightDiffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glMateriali(GL_FRONT, GL_SHININESS, shininess);
    makeQuadrics();
}

void endPicture() {
    glPopMatrix();
}

void drawGround(const SceneExtras& extras) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawFloor(extras.valueMap, extras.valueLow, extras.valueHigh);
    if (extras.earlierPaths != nullptr) {
        drawEarlierPaths(*extras.earlierPaths);
    }
}

void drawTrail(const World& world, int from, int to, int capsuleDetail) {
    for (int i = from; i < to; ++i) {
        glPushMatrix();
        glLoadIdentity();
        multiplyFrame(world.trail.rear[i], world.trail.heading[i], 0);
        const Colour& c = world.trail.colour[i];
        glColor3d(c.r, c.g, c.b);
        drawCapsule(world.width, world.length, capsuleDetail);
        glPopMatrix();
    }
}

void drawRobot(const World& world, int capsuleDetail) {
    Vec2 rear, front, heading;
    world.getPose(rear, front, heading);
    glPushMatrix();
    glLoadIdentity();
    multiplyFrame(rear, heading, 0);
    glColor3d(world.trailColour.r, world.trailColour.g, world.trailColour.b);
    drawCapsule(world.width, world.length, capsuleDetail);
    glPopMatrix();
}

void drawObstaclesAndGoal(const World& world) {
    glPushMatrix();
    glLoadIdentity();
    glColor3d(0.5, 0.5, 1.0);
    for (int k = 0; k < world.obstacleCount; ++k) {
        const Obstacle& o = world.obstacles[k];
        const int n = o.vertexCount;
        for (int i = 0; i < n; ++i) {
            const Vec2 a = o.vertices[i];
            const Vec2 d = o.vertices[(i + 1) % n] - a;
            const double s = d.x * d.x + d.y * d.y;
            if (s < shortestDrawnEdgeSquared) {
                continue;
            }
            const double edgeLength = std::sqrt(s);
            glPushMatrix();
            multiplyFrame(a, d / edgeLength, obstacleHeight);
            gluCylinder(cylinderQuadric, rodRadius, rodRadius, edgeLength, 10, 10);
            gluSphere(sphereQuadric, rodRadius, 10, 10);
            glPopMatrix();
        }
    }
    glColor3d(0, 1, 0);
    glTranslated(world.goal.x, world.goal.y, goalHeight);
    gluSphere(sphereQuadric, world.goalRadius, 20, 20);
    glPopMatrix();
}

void drawRays(const World& world) {
    glPushMatrix();
    glLoadIdentity();
    glColor4d(1, 0, 0, 0.5);
    glDisable(GL_LIGHTING);
    const RangeSensor& fan = world.sensor;
    for (int i = 0; i < fan.rayCount; ++i) {
        const Vec2 o = fan.worldOrigins[i];
        const Vec2 end = o + fan.ranges[i] * fan.worldDirections[i];
        glBegin(GL_LINES);
        glVertex3d(o.x, o.y, rayHeight);
        glVertex3d(end.x, end.y, rayHeight);
        glEnd();
    }
    glEnable(GL_LIGHTING);
    glPopMatrix();
}

void renderPicture(const World& world, int width, int height, const SceneExtras& extras) {
    beginPicture(width, height);
    drawGround(extras);
    drawTrail(world, 0, world.trailCount, extras.capsuleDetail);
    drawRobot(world, extras.capsuleDetail);
    drawObstaclesAndGoal(world);
    drawRays(world);
    endPicture();
}

void makePictureOpaque() {
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

} // namespace quorvel
