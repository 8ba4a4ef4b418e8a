#pragma once

#include <QDateTime>
#include <QObject>

// The start and end marks of a clip, on the camera clock, so they stay put
// when playback moves on to another recording. Loading another folder clears
// them. GUI thread only.
class RMClipMarks : public QObject {
    Q_OBJECT
public:
    static RMClipMarks* instance();

    QDateTime in() const { return _in; }
    QDateTime out() const { return _out; }
    bool hasRange() const { return _in.isValid() && _out.isValid() && _in < _out; }

    // A mark past the other one moves that one out of the way (it is cleared).
    void setIn(const QDateTime& time);
    void setOut(const QDateTime& time);
    void setRange(const QDateTime& in, const QDateTime& out);
    // The camera clock at the position the player shows, or invalid.
    static QDateTime now();

public Q_SLOTS:
    void clear();
    void onMarkIn();
    void onMarkOut();
    void onListUpdateStarted(bool);

Q_SIGNALS:
    void changed();

private:
    RMClipMarks();

    QDateTime _in;
    QDateTime _out;
};
