#include "export/rm_clip_range.h"

#include <QtDebug>
#include <algorithm>

#include "recordings/rm_video_item_2ch.h"

QList<RMClipSource> RMClipRange::sources(const QList<RMVideoItem*>& items) {
    QList<RMClipSource> out;
    for (const RMVideoItem* item : items) {
        if (!item || item->durationMs == 0 || !item->dateTime.isValid()) {
            continue;
        }
        RMClipSource s;
        s.front = item->frontPath;
        s.rear = item->rearPath;
        s.start = item->dateTime;
        s.durationMs = item->durationMs;
        out << s;
    }
    std::stable_sort(out.begin(), out.end(), [](const RMClipSource& a, const RMClipSource& b) {
        return a.start < b.start;
    });
    return out;
}

QList<RMClipPart> RMClipRange::resolve(const QList<RMClipSource>& sources, const QDateTime& start,
                                       const QDateTime& end, QString* error) {
    QList<RMClipPart> parts;
    auto fail = [&](const QString& reason) {
        if (error) {
            *error = reason;
        }
        qInfo() << Q_FUNC_INFO << __LINE__ << reason << start << end;
        return QList<RMClipPart>();
    };
    if (!start.isValid() || !end.isValid() || end <= start) {
        return fail("the start of the range is not before its end");
    }
    int i = 0;
    while (i < sources.size() && !(sources[i].start <= start && start < sources[i].end())) {
        ++i;
    }
    if (i == sources.size()) {
        // A start between recordings begins with the next one inside the range.
        i = 0;
        while (i < sources.size() && !(start < sources[i].start && sources[i].start < end)) {
            ++i;
        }
    }
    if (i == sources.size()) {
        return fail("no recording in the range");
    }
    QDateTime from = qMax(start, sources[i].start);
    while (true) {
        const RMClipSource& s = sources[i];
        RMClipPart part;
        part.source = s;
        part.fromMs = qMax<qint64>(0, s.start.msecsTo(from));
        part.toMs = qMin<qint64>(s.durationMs, s.start.msecsTo(end));
        parts << part;
        if (end <= s.end()) {
            break;
        }
        // The next recording of the same drive.
        int next = -1;
        for (int j = i + 1; j < sources.size(); ++j) {
            if (qAbs(s.end().msecsTo(sources[j].start)) <= kJoinGapMs &&
                sources[j].front.isEmpty() == s.front.isEmpty() &&
                sources[j].rear.isEmpty() == s.rear.isEmpty()) {
                next = j;
                break;
            }
        }
        if (next < 0 || end <= sources[next].start) {
            break;
        }
        i = next;
        from = sources[i].start;
    }
    return parts;
}
