#include "settings/rm_value_updater.h"

RMValueUpdater* RMValueUpdater::instance() {
    static RMValueUpdater* updater = new RMValueUpdater();
    return updater;
}
