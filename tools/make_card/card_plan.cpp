#include "card_plan.h"

namespace {

constexpr int kParkedAtEnd = 3;
constexpr int kMinForParking = 5;
constexpr int kEventEvery = 6;

}  // namespace

QString PlannedRecording::baseName() const {
    return prefix + start.toString(QStringLiteral("yyMMdd-HHmmss")) +
           QStringLiteral("-%1").arg(number, 6, 10, QLatin1Char('0'));
}

QString PlannedRecording::fileName(bool rear) const {
    return baseName() + (rear ? QStringLiteral("_2.mp4") : QStringLiteral("_1.mp4"));
}

std::vector<PlannedRecording> CardPlan::make(const CardOptions& options) {
    const int count = options.recordings;
    const int parked = count >= kMinForParking ? kParkedAtEnd : 0;
    const int driving = count - parked;
    static const char* const kParkedPrefixes[kParkedAtEnd] = {"PNF_", "PMF_", "PEF_"};

    std::vector<PlannedRecording> plan;
    plan.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        PlannedRecording r;
        r.number = i + 1;
        r.start = options.start.addSecs(qint64(i) * options.seconds);
        r.segment.seconds = options.seconds;
        if (i < driving) {
            const bool event = i % kEventEvery == 1;
            r.prefix = QString::fromLatin1(event ? "NEF_" : "NNF_");
            r.segment.event = event;
            r.segment.stopAtEnd = parked > 0 && i == driving - 1;
        } else {
            const int p = i - driving;
            r.prefix = QString::fromLatin1(kParkedPrefixes[p]);
            r.segment.parked = true;
            r.segment.motion = p == 1;
            r.segment.event = p == 2;
        }
        plan.push_back(r);
    }
    return plan;
}
