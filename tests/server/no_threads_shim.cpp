// Preloaded into the server by a test: while the file named by
// VNSCOPE_TEST_NO_THREADS exists, pthread_create fails with EAGAIN, as it
// does when the process has reached its thread or memory limit.
#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                              void* argument) {
  using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
  static const auto real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
  const char* flag = std::getenv("VNSCOPE_TEST_NO_THREADS");
  if (flag != nullptr && access(flag, F_OK) == 0) return EAGAIN;
  return real(thread, attributes, start, argument);
}
