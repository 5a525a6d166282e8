// older-syscalls COMMAND...: runs COMMAND with the path system calls that proot 5.1 (Debian 12)
// does not know failing with ENOSYS. proot passes a call it does not know through untouched, so
// statx and the like would look at the host's tree instead of the root's; on ENOSYS, glibc and
// coreutils fall back to the older calls, which proot translates. Built by fresh-root.sh.
#include <errno.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <stdio.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#if defined(__x86_64__)
#define ORV_AUDIT_ARCH AUDIT_ARCH_X86_64
#elif defined(__aarch64__)
#define ORV_AUDIT_ARCH AUDIT_ARCH_AARCH64
#else
#error "older-syscalls: unknown architecture"
#endif

#define ORV_ENOSYS(nr)                                                                             \
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, (nr), 0, 1),                                               \
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS)

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: older-syscalls COMMAND...\n");
        return 2;
    }
    struct sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ORV_AUDIT_ARCH, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        ORV_ENOSYS(__NR_statx),
        ORV_ENOSYS(__NR_faccessat2),
        ORV_ENOSYS(__NR_openat2),
        ORV_ENOSYS(__NR_renameat2),
#ifdef __NR_fchmodat2
        ORV_ENOSYS(__NR_fchmodat2),
#endif
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    struct sock_fprog program = {sizeof filter / sizeof filter[0], filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        perror("older-syscalls: seccomp");
        return 1;
    }
    execvp(argv[1], argv + 1);
    perror("older-syscalls: exec");
    return 127;
}
