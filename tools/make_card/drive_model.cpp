#include "drive_model.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTick = 1.0 / DriveModel::kTicksPerSecond;  // seconds
constexpr double kGravity = 9.80665;
constexpr double kMetresPerDegree = 111320.0;
constexpr double kPi = 3.14159265358979323846;
constexpr double kVerticalRest = 0.85;  // g, see DriveSample
// Beyond this distance from the start every turn heads back towards it, so
// long cards stay in the same city.
constexpr double kHomeRadius = 5000.0;
// Cruising speeds in km/h; city speeds are the more likely.
constexpr double kCruiseSpeeds[] = {30, 40, 40, 50, 50, 60, 60, 80, 100, 130};
constexpr double kTopSpeed = 130 / 3.6;  // m/s

double wrapAngle(double a) {
    while (a > kPi) {
        a -= 2 * kPi;
    }
    while (a < -kPi) {
        a += 2 * kPi;
    }
    return a;
}

double sign(double v) {
    return v < 0 ? -1.0 : 1.0;
}

double takeFront(std::deque<double>& queue) {
    if (queue.empty()) {
        return 0.0;
    }
    const double v = queue.front();
    queue.pop_front();
    return v;
}

void addPulse(std::deque<double>& queue, std::initializer_list<double> pulse, double scale) {
    size_t i = 0;
    for (double v : pulse) {
        if (i < queue.size()) {
            queue[i] += v * scale;
        } else {
            queue.push_back(v * scale);
        }
        ++i;
    }
}

}  // namespace

DriveModel::DriveModel(quint64 seed, qint64 startUtcMs, double latitude, double longitude,
                       int noFixSeconds)
    : m_random(seed),
      m_startUtcMs(startUtcMs),
      m_noFixTicks(noFixSeconds * kTicksPerSecond),
      m_homeLatitude(latitude),
      m_homeLongitude(longitude),
      m_latitude(latitude),
      m_longitude(longitude) {
    m_heading = m_random.range(0, 2 * kPi);
    // The engine starts with the recording; the car pulls out a little later.
    m_timer = m_random.range(6, 12);
}

void DriveModel::setFixGap(int startSecond, int seconds) {
    m_gapStartTick = qint64(startSecond) * kTicksPerSecond;
    m_gapEndTick = m_gapStartTick + qint64(seconds) * kTicksPerSecond;
}

std::vector<DriveSample> DriveModel::next(const DriveSegment& segment) {
    m_eventDone = !segment.event;
    m_eventTime = segment.seconds * m_random.range(0.45, 0.7);
    std::vector<DriveSample> samples;
    const int ticks = segment.seconds * kTicksPerSecond;
    samples.reserve(size_t(ticks));
    for (int i = 0; i < ticks; ++i) {
        const double t = i * kTick;
        control(segment, t);
        samples.push_back(step());
        ++m_tick;
    }
    return samples;
}

// Decides the mode and the target speed for the next tick.
void DriveModel::control(const DriveSegment& segment, double segmentTime) {
    if (segment.parked) {
        if (m_speed > 0) {
            m_mode = Mode::Approach;
            m_target = 0;
            m_rate = 3.0;
        } else {
            m_mode = Mode::Parked;
        }
        if (!m_eventDone && segmentTime >= m_eventTime) {
            // Something hits the parked car.
            m_eventDone = true;
            addPulse(m_bumpForward, {0.45, -0.3, 0.12}, 1.0);
            addPulse(m_bumpLateral, {-0.3, 0.18, -0.05}, 1.0);
            addPulse(m_bumpVertical, {-0.35, 0.1, -0.08}, 1.0);
        }
        if (segment.motion && m_random.chance(0.012)) {
            const double s = m_random.range(0.04, 0.1) * sign(m_random.range(-1, 1));
            addPulse(m_bumpForward, {s, -s / 2}, 1.0);
            addPulse(m_bumpVertical, {-s, s / 2}, 1.0);
        }
        return;
    }
    if (m_mode == Mode::Parked) {
        m_mode = Mode::Stopped;
        m_timer = m_random.range(3, 8);
    }

    if (!m_eventDone && segmentTime >= m_eventTime) {
        m_eventDone = true;
        if (m_speed > 20 / 3.6) {
            m_mode = Mode::HardBrake;
            m_target = 0;
            m_rate = m_random.range(6.5, 8.0);
        } else {
            // Too slow to brake hard: a pothole instead.
            addPulse(m_bumpVertical, {0.35, -0.5, 0.2}, 1.0);
            addPulse(m_bumpForward, {-0.2, 0.1}, 1.0);
        }
    }
    const double remaining = segment.seconds - segmentTime;
    // Braking at 2 m/s^2 takes speed / 2 seconds; a few more to stand still.
    const bool holdStop = segment.stopAtEnd && remaining < m_speed / 2.0 + 6.0;
    const bool eventAhead = !m_eventDone;

    switch (m_mode) {
        case Mode::Stopped:
            m_timer -= kTick;
            if (eventAhead) {
                m_timer = std::min(m_timer, 1.5);
            }
            if (m_timer <= 0 && !holdStop) {
                startMoving();
            }
            break;
        case Mode::Approach:
            if (holdStop && m_target > 0) {
                m_target = 0;
                m_rate = 2.0;
            }
            if (std::abs(m_target - m_speed) < 0.05) {
                if (m_target == 0) {
                    m_mode = Mode::Stopped;
                    m_timer = m_random.range(8, 40);
                } else {
                    m_mode = Mode::Cruise;
                    m_timer = m_random.range(15, 60);
                }
            }
            break;
        case Mode::Cruise:
            m_timer -= kTick;
            if (holdStop) {
                m_mode = Mode::Approach;
                m_target = 0;
                m_rate = 2.0;
            } else if (m_timer <= 0) {
                m_mode = Mode::Approach;
                if (!eventAhead && m_random.chance(0.4)) {
                    m_target = 0;  // a red light
                    m_rate = m_random.range(1.5, 3.0);
                } else {
                    m_target =
                        kCruiseSpeeds[m_random.between(0, int(std::size(kCruiseSpeeds)) - 1)] / 3.6;
                    m_rate = m_random.range(1.0, 2.5);
                }
            }
            break;
        case Mode::HardBrake:
            if (m_speed <= 0) {
                m_mode = Mode::Stopped;
                m_timer = m_random.range(5, 15);
            }
            break;
        case Mode::Parked:
            break;
    }
}

void DriveModel::startMoving() {
    m_mode = Mode::Approach;
    m_target = kCruiseSpeeds[m_random.between(0, int(std::size(kCruiseSpeeds)) - 1)] / 3.6;
    m_rate = m_random.range(1.5, 2.8);
    chooseTurn();
}

// At a junction: straight on or a right angle, towards home when far away.
void DriveModel::chooseTurn() {
    const double r = m_random.unit();
    if (distanceFromHome() > kHomeRadius) {
        const double diff = wrapAngle(bearingToHome() - m_heading);
        m_turnToGo = std::abs(diff) > kPi / 4 ? sign(diff) * kPi / 2 : 0.0;
    } else if (r < 0.3) {
        m_turnToGo = kPi / 2;
    } else if (r < 0.6) {
        m_turnToGo = -kPi / 2;
    } else {
        m_turnToGo = 0;
    }
}

DriveSample DriveModel::step() {
    double accel = 0;
    switch (m_mode) {
        case Mode::Approach:
        case Mode::HardBrake:
            accel = std::clamp((m_target - m_speed) / kTick, -m_rate, m_rate);
            if (accel > 0) {
                accel *= std::max(0.35, 1.0 - m_speed / 45.0);  // engines pull less when fast
            }
            break;
        case Mode::Cruise:
            m_target = std::clamp(m_target + m_random.range(-0.05, 0.05), 0.0, kTopSpeed);
            accel = std::clamp((m_target - m_speed) * 0.5, -0.8, 0.8);
            break;
        case Mode::Stopped:
        case Mode::Parked:
            break;
    }
    const double before = m_speed;
    m_speed = std::max(0.0, m_speed + accel * kTick);
    accel = (m_speed - before) / kTick;

    double yaw = 0;
    if (m_speed > 0.5) {
        if (m_turnToGo != 0) {
            // A junction turn on a radius of about 12 m.
            const double rate = std::min({std::abs(m_turnToGo) / kTick, m_speed / 12.0, 0.45});
            yaw = sign(m_turnToGo) * rate;
            m_turnToGo -= yaw * kTick;
            if (std::abs(m_turnToGo) < 1e-6) {
                m_turnToGo = 0;
            }
        } else {
            m_yawRate = std::clamp(m_yawRate * 0.97 + m_random.range(-1, 1) * 0.003, -0.04, 0.04);
            yaw = m_yawRate;
            if (distanceFromHome() > kHomeRadius) {
                yaw += 0.01 * sign(wrapAngle(bearingToHome() - m_heading));
            }
        }
        m_heading = wrapAngle(m_heading + yaw * kTick);
        const double north = m_speed * std::cos(m_heading) * kTick;
        const double east = m_speed * std::sin(m_heading) * kTick;
        m_latitude += north / kMetresPerDegree;
        m_longitude += east / (kMetresPerDegree * std::cos(m_latitude * kPi / 180.0));
        m_altitude = std::clamp(m_altitude + m_random.range(-0.02, 0.02) * m_speed, 5.0, 80.0);
        // Road bumps, more of them the faster the car goes.
        if (m_speed > 3 && m_random.chance(0.0025 * m_speed / 10.0)) {
            addPulse(m_bumpVertical, {-0.12, 0.08, -0.03}, std::min(1.5, m_speed / 15.0));
        }
    }

    const double noise = m_speed > 0 ? 0.015 : 0.005;
    DriveSample s;
    s.utcMs = m_startUtcMs + m_tick * (1000 / kTicksPerSecond);
    s.fix = m_tick >= m_noFixTicks && (m_tick < m_gapStartTick || m_tick >= m_gapEndTick);
    s.satellites =
        s.fix ? quint8(6 + (m_tick / 347) % 6) : quint8(std::min<qint64>(3, m_tick / 40));
    // Receiver jitter of about a metre.
    s.latitude = m_latitude + m_random.range(-1e-5, 1e-5);
    s.longitude = m_longitude + m_random.range(-1e-5, 1e-5);
    s.altitude = m_altitude;
    s.speedKmh = m_speed * 3.6;
    s.headingDeg = std::fmod(m_heading * 180.0 / kPi + 360.0, 360.0);
    const double forward =
        accel / kGravity + m_random.range(-noise, noise) + takeFront(m_bumpForward);
    const double lateral =
        -m_speed * yaw / kGravity + m_random.range(-noise, noise) + takeFront(m_bumpLateral);
    const double vertical =
        kVerticalRest + m_random.range(-noise, noise) + takeFront(m_bumpVertical);
    s.forward = toByte(forward * 128);
    s.lateral = toByte(lateral * 128);
    s.vertical = toByte(vertical * 128);
    return s;
}

double DriveModel::distanceFromHome() const {
    const double north = (m_latitude - m_homeLatitude) * kMetresPerDegree;
    const double east =
        (m_longitude - m_homeLongitude) * kMetresPerDegree * std::cos(m_homeLatitude * kPi / 180.0);
    return std::hypot(north, east);
}

double DriveModel::bearingToHome() const {
    const double north = (m_homeLatitude - m_latitude) * kMetresPerDegree;
    const double east =
        (m_homeLongitude - m_longitude) * kMetresPerDegree * std::cos(m_homeLatitude * kPi / 180.0);
    return std::atan2(east, north);
}

qint8 DriveModel::toByte(double units) {
    return qint8(std::clamp(std::lround(units), -128L, 127L));
}
