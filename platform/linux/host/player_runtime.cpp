// Linked into the Linux player only: a quiet end for an uncaught exception,
// and what lets it load on glibc 2.31 (Debian 11, Ubuntu 20.04) although it
// is built against a newer one.
//
// glibc: the player is linked with --wrap for each name below: every reference to NAME, in our code
// and in the static C++ runtime alike, goes to __wrap_NAME here, which calls
// the oldest version of NAME that glibc exports (glibc keeps those for old
// programs) or, where 2.31 has none, does the work itself.

#include <dlfcn.h>
#include <link.h>
#include <pthread.h>
#include <signal.h>
#include <stdint.h>
#include <string.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>

#include <cstdlib>

// The player says nothing, even when the C++ runtime gives up: no message,
// and so no demangler linked in to write it (a quarter of the program's code).
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

#define GIFPLAY_OLD(name, version) __asm__(".symver " #name "_old," #name "@" version)

extern "C" {

// --- the program's start -------------------------------------------------
// glibc 2.34 runs the program's initialisers itself and has its start files
// pass none; 2.31 runs only those it is given. The old entry takes them from
// us on both.
using MainFunction = int (*)(int, char**, char**);
int __libc_start_main_old(MainFunction, int, char**, void (*)(int, char**, char**), void (*)(),
                          void (*)(), void*);
GIFPLAY_OLD(__libc_start_main, "GLIBC_2.2.5");

using Initialiser = void (*)(int, char**, char**);
extern Initialiser __preinit_array_start[] __attribute__((visibility("hidden")));
extern Initialiser __preinit_array_end[] __attribute__((visibility("hidden")));
extern Initialiser __init_array_start[] __attribute__((visibility("hidden")));
extern Initialiser __init_array_end[] __attribute__((visibility("hidden")));
void _init();

static void runInitialisers(int argc, char** argv, char** environment) {
  for (Initialiser* at = __preinit_array_start; at != __preinit_array_end; ++at)
    (*at)(argc, argv, environment);
  _init();
  for (Initialiser* at = __init_array_start; at != __init_array_end; ++at)
    (*at)(argc, argv, environment);
}

// The finalisers need no help: both versions run them at exit.
int __wrap___libc_start_main(MainFunction main, int argc, char** argv, void (*)(), void (*)(),
                             void (*rtldFini)(), void* stackEnd) {
  return __libc_start_main_old(main, argc, argv, runInitialisers, nullptr, rtldFini, stackEnd);
}

// --- threads and the dynamic loader: moved into libc in 2.34 ---------------
int pthread_create_old(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
int pthread_join_old(pthread_t, void**);
int pthread_detach_old(pthread_t);
int pthread_once_old(pthread_once_t*, void (*)());
int pthread_key_create_old(pthread_key_t*, void (*)(void*));
int pthread_key_delete_old(pthread_key_t);
void* pthread_getspecific_old(pthread_key_t);
int pthread_setspecific_old(pthread_key_t, const void*);
int pthread_cond_clockwait_old(pthread_cond_t*, pthread_mutex_t*, clockid_t, const timespec*);
int pthread_sigmask_old(int, const sigset_t*, sigset_t*);
int pthread_setname_np_old(pthread_t, const char*);
void* dlopen_old(const char*, int);
void* dlsym_old(void*, const char*);
int dlclose_old(void*);
GIFPLAY_OLD(pthread_create, "GLIBC_2.2.5");
GIFPLAY_OLD(pthread_join, "GLIBC_2.2.5");
GIFPLAY_OLD(pthread_detach, "GLIBC_2.2.5");
GIFPLAY_OLD(pthread_once, "GLIBC_2.2.5");
GIFPLAY_OLD(pthread_key_create, "GLIBC_2.2.5");
GIFPLAY_OLD(pthread_key_delete, "GLIBC_2.2.5");
GIFPLAY_OLD(pthread_getspecific, "GLIBC_2.2.5");
GIFPLAY_OLD(pthread_setspecific, "GLIBC_2.2.5");
GIFPLAY_OLD(pthread_cond_clockwait, "GLIBC_2.30");
GIFPLAY_OLD(pthread_sigmask, "GLIBC_2.2.5");
GIFPLAY_OLD(pthread_setname_np, "GLIBC_2.12");
GIFPLAY_OLD(dlopen, "GLIBC_2.2.5");
GIFPLAY_OLD(dlsym, "GLIBC_2.2.5");
GIFPLAY_OLD(dlclose, "GLIBC_2.2.5");

int __wrap_pthread_create(pthread_t* thread, const pthread_attr_t* attributes,
                          void* (*start)(void*), void* argument) {
  return pthread_create_old(thread, attributes, start, argument);
}
int __wrap_pthread_join(pthread_t thread, void** result) {
  return pthread_join_old(thread, result);
}
int __wrap_pthread_detach(pthread_t thread) { return pthread_detach_old(thread); }
int __wrap_pthread_once(pthread_once_t* once, void (*routine)()) {
  return pthread_once_old(once, routine);
}
int __wrap_pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
  return pthread_key_create_old(key, destructor);
}
// The C++ runtime asks whether threads are in use by whether this weak name
// is defined: they always are in the player.
int __wrap___pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
  return pthread_key_create_old(key, destructor);
}
int __wrap_pthread_key_delete(pthread_key_t key) { return pthread_key_delete_old(key); }
void* __wrap_pthread_getspecific(pthread_key_t key) { return pthread_getspecific_old(key); }
int __wrap_pthread_setspecific(pthread_key_t key, const void* value) {
  return pthread_setspecific_old(key, value);
}
int __wrap_pthread_cond_clockwait(pthread_cond_t* condition, pthread_mutex_t* mutex,
                                  clockid_t clock, const timespec* until) {
  return pthread_cond_clockwait_old(condition, mutex, clock, until);
}
int __wrap_pthread_sigmask(int how, const sigset_t* set, sigset_t* old) {
  return pthread_sigmask_old(how, set, old);
}
int __wrap_pthread_setname_np(pthread_t thread, const char* name) {
  return pthread_setname_np_old(thread, name);
}
void* __wrap_dlopen(const char* file, int mode) { return dlopen_old(file, mode); }
void* __wrap_dlsym(void* handle, const char* name) { return dlsym_old(handle, name); }
int __wrap_dlclose(void* handle) { return dlclose_old(handle); }

// --- stat: before 2.33, the headers called __xstat with a version -------
int __xstat_old(int, const char*, struct stat*);
int __fxstat_old(int, int, struct stat*);
int __lxstat_old(int, const char*, struct stat*);
GIFPLAY_OLD(__xstat, "GLIBC_2.2.5");
GIFPLAY_OLD(__fxstat, "GLIBC_2.2.5");
GIFPLAY_OLD(__lxstat, "GLIBC_2.2.5");
enum { kStatVersion = 1 };  // _STAT_VER_LINUX on x86-64

int __wrap_stat(const char* path, struct stat* result) {
  return __xstat_old(kStatVersion, path, result);
}
int __wrap_fstat(int file, struct stat* result) { return __fxstat_old(kStatVersion, file, result); }
int __wrap_lstat(const char* path, struct stat* result) {
  return __lxstat_old(kStatVersion, path, result);
}

// --- what 2.31 lacks altogether ------------------------------------------
// The C++ runtime skips atomic reference counts while this says the process
// has one thread; the player never has just one, so it stays 0.
char __wrap___libc_single_threaded = 0;

uint32_t __wrap_arc4random() {
  uint32_t value = 0;
  while (getrandom(&value, sizeof value, 0) != sizeof value) {
  }
  return value;
}

// The unwinder's way to find the unwind tables of the object that holds an
// address (2.35), done as before it, with dl_iterate_phdr.
struct FoundObject {
  uintptr_t address;
  dl_find_object* result;
  bool found;
};

static int findObject(dl_phdr_info* info, size_t, void* data) {
  FoundObject* found = static_cast<FoundObject*>(data);
  uintptr_t start = UINTPTR_MAX, end = 0;
  void* unwindTables = nullptr;
  bool holds = false;
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    uintptr_t from = info->dlpi_addr + segment.p_vaddr;
    if (segment.p_type == PT_GNU_EH_FRAME) unwindTables = reinterpret_cast<void*>(from);
    if (segment.p_type != PT_LOAD) continue;
    if (from < start) start = from;
    if (from + segment.p_memsz > end) end = from + segment.p_memsz;
    holds = holds || (found->address >= from && found->address < from + segment.p_memsz);
  }
  if (!holds) return 0;
  memset(found->result, 0, sizeof *found->result);
  found->result->dlfo_map_start = reinterpret_cast<void*>(start);
  found->result->dlfo_map_end = reinterpret_cast<void*>(end);
  found->result->dlfo_eh_frame = unwindTables;
  found->found = true;
  return 1;
}

int __wrap__dl_find_object(void* address, dl_find_object* result) {
  FoundObject found{reinterpret_cast<uintptr_t>(address), result, false};
  dl_iterate_phdr(findObject, &found);
  return found.found ? 0 : -1;
}

}  // extern "C"
