#include "export/rm_evidence_facts.h"

#include <algorithm>
#include <cmath>

namespace {

// The GPS time of a sample, or an invalid time when its date is not valid.
QDateTime gpsTime(const RMGPSSample& s) {
    const QDate date(s.year, s.month, s.day);
    const QTime time(s.hour, s.minute, s.second);
    if (!date.isValid() || !time.isValid()) {
        return QDateTime();
    }
    return QDateTime(date, time, Qt::UTC);
}

double median(QVector<double> values) {
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void addGps(RMEvidenceFacts* facts, const QVector<RMEvidenceGps>& gps) {
    QVector<double> offsets;
    double speedSum = 0;
    for (const RMEvidenceGps& entry : gps) {
        const RMGPSSample& s = entry.sample;
        if (!s.hasFix()) {
            continue;
        }
        if (facts->fixCount == 0) {
            facts->startLatitude = s.latitude;
            facts->startLongitude = s.longitude;
        }
        facts->endLatitude = s.latitude;
        facts->endLongitude = s.longitude;
        ++facts->fixCount;
        speedSum += s.speed;
        if (facts->fixCount == 1 || s.speed > facts->maxSpeed) {
            facts->maxSpeed = s.speed;
            facts->maxSpeedAt = entry.clock;
        }
        const QDateTime utc = gpsTime(s);
        if (utc.isValid() && entry.clock.isValid()) {
            offsets << double(utc.msecsTo(entry.clock)) / 1000.0;
        }
    }
    if (facts->fixCount > 0) {
        facts->averageSpeed = speedSum / facts->fixCount;
    }
    if (!offsets.isEmpty()) {
        facts->hasOffset = true;
        facts->clockOffsetS = median(offsets);
    }
}

void addG(RMEvidenceFacts* facts, const QVector<RMEvidenceG>& g) {
    float largest = -1;
    for (const RMEvidenceG& entry : g) {
        for (int axis = 0; axis < 3; ++axis) {
            const float v = entry.axis[axis];
            if (!std::isfinite(v)) {
                continue;
            }
            RMEvidenceFacts::Peak& peak = facts->peak[axis];
            if (!peak.at.isValid() || std::abs(v) > std::abs(peak.g)) {
                peak.g = v;
                peak.at = entry.clock;
            }
            if (std::abs(v) > largest) {
                largest = std::abs(v);
                facts->largestGAt = entry.clock;
            }
        }
    }
    facts->gCount = g.size();
}

}  // namespace

RMEvidenceFacts RMEvidenceFacts::compute(const QVector<RMEvidenceGps>& gps,
                                         const QVector<RMEvidenceG>& g) {
    RMEvidenceFacts facts;
    addGps(&facts, gps);
    addG(&facts, g);
    return facts;
}

QDateTime RMEvidenceFacts::utcOf(const QDateTime& clock) const {
    if (!hasOffset || !clock.isValid()) {
        return QDateTime();
    }
    return clock.addMSecs(-qint64(std::llround(clockOffsetS * 1000.0)));
}
