#pragma once

// Simulation (Linux builds only): <spawn.h> with the two Apple extensions the
// companion's macOS launcher uses. glibc knows neither, so the flag and the
// file actions go through spawn.cpp, which carries out Apple's rule: with
// POSIX_SPAWN_CLOEXEC_DEFAULT only the descriptors that file actions name
// reach the child.

#include_next <spawn.h>

#ifdef __cplusplus
extern "C" {
#endif

#define POSIX_SPAWN_CLOEXEC_DEFAULT 0x4000

int posix_spawn_file_actions_addinherit_np(posix_spawn_file_actions_t* actions, int filedes);

int macsim_posix_spawn_file_actions_addopen(posix_spawn_file_actions_t* actions, int filedes,
                                            const char* path, int oflag, mode_t mode);
int macsim_posix_spawn_file_actions_adddup2(posix_spawn_file_actions_t* actions, int filedes,
                                            int newfiledes);
int macsim_posix_spawnattr_setflags(posix_spawnattr_t* attr, short flags);
int macsim_posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                       const posix_spawnattr_t* attr, char* const argv[], char* const envp[]);

#define posix_spawn_file_actions_addopen macsim_posix_spawn_file_actions_addopen
#define posix_spawn_file_actions_adddup2 macsim_posix_spawn_file_actions_adddup2
#define posix_spawnattr_setflags macsim_posix_spawnattr_setflags
#define posix_spawn macsim_posix_spawn

#ifdef __cplusplus
}
#endif
