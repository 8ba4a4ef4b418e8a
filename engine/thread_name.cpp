#include "engine/thread_name.h"

#ifdef __linux__
#include <pthread.h>
#endif

void nameThisThread(const char* name) {
#ifdef __linux__
    pthread_setname_np(pthread_self(), name);
#else
    (void)name;
#endif
}
