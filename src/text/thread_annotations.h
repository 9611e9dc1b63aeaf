// Names for clang's thread-safety attributes, so that the compiler checks which
// lock guards which data (the thread-safety pass builds with clang and
// -Wthread-safety). Other compilers see nothing.
#pragma once

#if defined(__clang__)
#define DRUVEX_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define DRUVEX_THREAD_ATTRIBUTE(x)
#endif

// A type that is a lock ("mutex" in the messages).
#define CAPABILITY(name) DRUVEX_THREAD_ATTRIBUTE(capability(name))
// A type whose objects hold a lock from construction to destruction.
#define SCOPED_CAPABILITY DRUVEX_THREAD_ATTRIBUTE(scoped_lockable)
// Data read and written only with the lock held.
#define GUARDED_BY(lock) DRUVEX_THREAD_ATTRIBUTE(guarded_by(lock))
// Data that the pointer points to, read and written only with the lock held.
#define PT_GUARDED_BY(lock) DRUVEX_THREAD_ATTRIBUTE(pt_guarded_by(lock))
// Locks taken in this order only.
#define ACQUIRED_BEFORE(...) DRUVEX_THREAD_ATTRIBUTE(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) DRUVEX_THREAD_ATTRIBUTE(acquired_after(__VA_ARGS__))
// The caller holds the lock.
#define REQUIRES(...) DRUVEX_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
// The function takes the lock and returns holding it.
#define ACQUIRE(...) DRUVEX_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
// The function releases a lock the caller holds.
#define RELEASE(...) DRUVEX_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
// The function takes the lock when it returns `result`.
#define TRY_ACQUIRE(...) DRUVEX_THREAD_ATTRIBUTE(try_acquire_capability(__VA_ARGS__))
// The caller must not hold the lock (the function takes it itself).
#define EXCLUDES(...) DRUVEX_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
// The function returns a reference to the lock.
#define RETURN_CAPABILITY(lock) DRUVEX_THREAD_ATTRIBUTE(lock_returned(lock))
// The function's body is not checked: it does what the checker cannot follow
// (a lock handed to the standard library's waits); its comment says why.
#define NO_THREAD_SAFETY_ANALYSIS DRUVEX_THREAD_ATTRIBUTE(no_thread_safety_analysis)
