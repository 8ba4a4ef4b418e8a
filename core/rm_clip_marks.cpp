#include "core/rm_clip_marks.h"

#include <QtDebug>

#include "core/rm_player.h"
#include "recordings/rm_video_file_list.h"
#include "recordings/rm_video_item_2ch.h"

RMClipMarks* RMClipMarks::instance() {
    static RMClipMarks* marks = new RMClipMarks();
    return marks;
}

RMClipMarks::RMClipMarks() {
    connect(RMVideoFileList::instance(), SIGNAL(listUpdateStarted(bool)), this,
            SLOT(onListUpdateStarted(bool)));
}

QDateTime RMClipMarks::now() {
    RMPlayer* player = RMPlayer::instance();
    const RMVideoItem* item = player->currentItem();
    if (!item || !item->dateTime.isValid()) {
        return QDateTime();
    }
    return item->dateTime.addMSecs(player->capturePosition());
}

void RMClipMarks::setIn(const QDateTime& time) {
    _in = time;
    if (_out.isValid() && _out <= _in) {
        _out = QDateTime();
    }
    qInfo() << Q_FUNC_INFO << __LINE__ << _in << _out;
    Q_EMIT changed();
}

void RMClipMarks::setOut(const QDateTime& time) {
    _out = time;
    if (_in.isValid() && _in >= _out) {
        _in = QDateTime();
    }
    qInfo() << Q_FUNC_INFO << __LINE__ << _in << _out;
    Q_EMIT changed();
}

void RMClipMarks::setRange(const QDateTime& in, const QDateTime& out) {
    _in = in;
    _out = out;
    Q_EMIT changed();
}

void RMClipMarks::clear() {
    if (_in.isValid() || _out.isValid()) {
        _in = _out = QDateTime();
        Q_EMIT changed();
    }
}

void RMClipMarks::onMarkIn() {
    const QDateTime time = now();
    if (time.isValid()) {
        setIn(time);
    }
}

void RMClipMarks::onMarkOut() {
    const QDateTime time = now();
    if (time.isValid()) {
        setOut(time);
    }
}

void RMClipMarks::onListUpdateStarted(bool loading) {
    // A folder loads (true); a change of the list's filter (false) keeps them.
    if (loading) {
        clear();
    }
}
