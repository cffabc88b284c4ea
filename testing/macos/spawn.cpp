// Apple's POSIX_SPAWN_CLOEXEC_DEFAULT and posix_spawn_file_actions_addinherit_np
// over glibc (see include/spawn.h).

#include <spawn.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>

#undef posix_spawn_file_actions_addopen
#undef posix_spawn_file_actions_adddup2
#undef posix_spawnattr_setflags
#undef posix_spawn

namespace {

std::mutex mutex;
// The descriptors each set of file actions names, and the attributes that
// close every other one.
std::map<const void*, std::set<int>> named;
std::set<const void*> closeByDefault;

int name(posix_spawn_file_actions_t* actions, int fd) {
  std::lock_guard lock(mutex);
  named[actions].insert(fd);
  return 0;
}

}  // namespace

extern "C" {

int macsim_posix_spawn_file_actions_addopen(posix_spawn_file_actions_t* actions, int filedes,
                                            const char* path, int oflag, mode_t mode) {
  const int rc = posix_spawn_file_actions_addopen(actions, filedes, path, oflag, mode);
  return rc != 0 ? rc : name(actions, filedes);
}

int macsim_posix_spawn_file_actions_adddup2(posix_spawn_file_actions_t* actions, int filedes,
                                            int newfiledes) {
  const int rc = posix_spawn_file_actions_adddup2(actions, filedes, newfiledes);
  return rc != 0 ? rc : name(actions, newfiledes);
}

// A dup2 onto itself clears close-on-exec in the child, as inheriting does.
int posix_spawn_file_actions_addinherit_np(posix_spawn_file_actions_t* actions, int filedes) {
  const int rc = posix_spawn_file_actions_adddup2(actions, filedes, filedes);
  return rc != 0 ? rc : name(actions, filedes);
}

int macsim_posix_spawnattr_setflags(posix_spawnattr_t* attr, short flags) {
  {
    std::lock_guard lock(mutex);
    if ((flags & POSIX_SPAWN_CLOEXEC_DEFAULT) != 0) {
      closeByDefault.insert(attr);
    } else {
      closeByDefault.erase(attr);
    }
  }
  return posix_spawnattr_setflags(attr, static_cast<short>(flags & ~POSIX_SPAWN_CLOEXEC_DEFAULT));
}

int macsim_posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                       const posix_spawnattr_t* attr, char* const argv[], char* const envp[]) {
  std::unique_lock lock(mutex);
  if (attr != nullptr && closeByDefault.count(attr) != 0) {
    if (actions == nullptr) return EINVAL;  // the launcher always names its streams
    // The caller's actions gain the closes; they are destroyed after the spawn.
    auto* own = const_cast<posix_spawn_file_actions_t*>(actions);
    const std::set<int> keep = named[actions];
    int highest = 2;
    for (int fd : keep) highest = std::max(highest, fd);
    for (int fd = 0; fd <= highest; ++fd) {
      if (keep.count(fd) == 0) posix_spawn_file_actions_addclose(own, fd);
    }
    posix_spawn_file_actions_addclosefrom_np(own, highest + 1);
  }
  // The address may serve another set of actions next time.
  if (actions != nullptr) named.erase(actions);
  lock.unlock();
  return posix_spawn(pid, path, actions, attr, argv, envp);
}

}  // extern "C"
