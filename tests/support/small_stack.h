// Running a piece of a test on a thread with a small stack: a walk over a deep
// tree that recursed on its depth would run out of it long before the tree
// ends, so a test shows this way that the walk does not.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <functional>
#include <stdexcept>

namespace druvex::test {

inline void runOnSmallStack(const std::function<void()>& work, std::size_t stackBytes = 256 * 1024)
{
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, stackBytes);
    pthread_t thread;
    const auto body = [](void* argument) -> void* {
        (*static_cast<const std::function<void()>*>(argument))();
        return nullptr;
    };
    const int created = pthread_create(&thread, &attributes, body, const_cast<std::function<void()>*>(&work));
    pthread_attr_destroy(&attributes);
    if (created != 0)
        throw std::runtime_error("pthread_create failed");
    pthread_join(thread, nullptr);
}

}  // namespace druvex::test
