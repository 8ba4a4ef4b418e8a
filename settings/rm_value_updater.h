#pragma once

#include <QObject>

// Broadcast that makes every settings control show its byte of the working
// record again (after Reset rewrote the record under them).
class RMValueUpdater : public QObject {
    Q_OBJECT
public:
    static RMValueUpdater* instance();

Q_SIGNALS:
    void updateByValues();

private:
    RMValueUpdater() = default;
};
