#pragma once

#include <QtGlobal>
#include <deque>
#include <vector>

#include "seeded_random.h"

// The state of the car at one sensor tick, in plain units.
struct DriveSample {
    qint64 utcMs = 0;  // milliseconds since 1970-01-01 UTC
    bool fix = false;  // position, speed and heading are valid
    quint8 satellites = 0;
    double latitude = 0;   // decimal degrees, north positive
    double longitude = 0;  // decimal degrees, east positive
    double altitude = 0;   // metres
    double speedKmh = 0;
    double headingDeg = 0;  // 0 = north, clockwise
    // Acceleration in 1/128 g: forward, left, up. The vertical axis rests near
    // 0.85 g (1 g would be 128, one past the signed byte the camera stores),
    // so road bumps fit; only potholes and impacts reach the limits.
    qint8 forward = 0;
    qint8 lateral = 0;
    qint8 vertical = 0;
};

// One recording's stretch of the drive.
struct DriveSegment {
    int seconds = 60;
    bool parked = false;     // the car stands still (parking surveillance)
    bool event = false;      // driving: hard braking; parked: an impact
    bool motion = false;     // parked: small jolts now and then
    bool stopAtEnd = false;  // come to a stop before the segment ends
};

// A deterministic drive through a city: starts, stops at lights, turns,
// cruises at 30 to 130 km/h, brakes hard when a segment has an event, and
// parks at the end. Consecutive segments continue one another, so the
// recordings of a card join up into one route.
class DriveModel {
public:
    static constexpr int kTicksPerSecond = 10;

    // `noFixSeconds`: the receiver has no fix for this long after the start.
    DriveModel(quint64 seed, qint64 startUtcMs, double latitude, double longitude,
               int noFixSeconds);

    // The receiver also loses its fix for `seconds` from `startSecond` of
    // the drive (a tunnel).
    void setFixGap(int startSecond, int seconds);

    // The ticks of the next segment, kTicksPerSecond per second.
    std::vector<DriveSample> next(const DriveSegment& segment);

private:
    enum class Mode { Stopped, Approach, Cruise, HardBrake, Parked };

    void control(const DriveSegment& segment, double segmentTime);
    void startMoving();
    void chooseTurn();
    DriveSample step();
    double distanceFromHome() const;
    double bearingToHome() const;
    static qint8 toByte(double units);

    SeededRandom m_random;
    qint64 m_startUtcMs;
    qint64 m_tick = 0;  // ticks since the start of the drive
    int m_noFixTicks;
    qint64 m_gapStartTick = 0;
    qint64 m_gapEndTick = 0;
    double m_homeLatitude;
    double m_homeLongitude;

    Mode m_mode = Mode::Stopped;
    double m_timer = 0;     // seconds left in the current mode
    double m_target = 0;    // target speed, m/s
    double m_rate = 2.0;    // acceleration magnitude towards the target, m/s^2
    double m_speed = 0;     // m/s
    double m_heading = 0;   // radians
    double m_yawRate = 0;   // radians per second
    double m_turnToGo = 0;  // radians of a junction turn still to do, clockwise positive
    double m_latitude;
    double m_longitude;
    double m_altitude = 35;
    bool m_eventDone = false;           // the current segment's event has happened
    double m_eventTime = 0;             // seconds into the segment
    std::deque<double> m_bumpVertical;  // pending vertical offsets, in g
    std::deque<double> m_bumpForward;
    std::deque<double> m_bumpLateral;
};
