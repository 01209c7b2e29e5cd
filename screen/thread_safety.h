// Clang's thread-safety annotations as macros, so the compiler checks which lock guards what and
// which procedures expect a lock held or free. Other compilers see nothing. Holds no state.
#pragma once

#if defined(__clang__)
#define MAREVANT_TSA(x) __attribute__((x))
#else
#define MAREVANT_TSA(x)
#endif

#define CAPABILITY(name) MAREVANT_TSA(capability(name))
#define SCOPED_CAPABILITY MAREVANT_TSA(scoped_lockable)
#define GUARDED_BY(lock) MAREVANT_TSA(guarded_by(lock))
#define PT_GUARDED_BY(lock) MAREVANT_TSA(pt_guarded_by(lock))
#define REQUIRES(...) MAREVANT_TSA(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) MAREVANT_TSA(acquire_capability(__VA_ARGS__))
#define RELEASE(...) MAREVANT_TSA(release_capability(__VA_ARGS__))
#define EXCLUDES(...) MAREVANT_TSA(locks_excluded(__VA_ARGS__))
#define NO_THREAD_SAFETY_ANALYSIS MAREVANT_TSA(no_thread_safety_analysis)
