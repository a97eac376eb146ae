#include "container/find_mutex.h"

namespace ravir {

std::mutex& FindMutex()
{
    static std::mutex mutex;
    return mutex;
}

}  // namespace ravir
