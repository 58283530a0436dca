/* Preloaded into 32-bit Wine under qemu-i386. The emulator hands signal
 * handlers no trap number for a fault (0 or -1 by version; the error code is
 * right), and Wine's i386 handlers choose the exception by trap number: a
 * page fault reaches the program as an illegal instruction, so IsBadReadPtr
 * kills the process and guard pages never fire. This library stands between
 * Wine and its fault handlers and puts back the trap number the kernel would
 * have given before Wine sees the context.
 *
 * Set KELVARIN_TRAPNO_TRACE to print each fault's signal context on stderr. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <ucontext.h>
#include <unistd.h>

enum {
    TRAP_DIVIDE = 0, TRAP_DEBUG = 1, TRAP_BREAKPOINT = 3, TRAP_OVERFLOW = 4,
    TRAP_INVALID_OPCODE = 6, TRAP_GENERAL_PROTECTION = 13, TRAP_PAGE_FAULT = 14,
    TRAP_X87 = 16, TRAP_ALIGNMENT = 17
};

typedef int sigaction_fn(int, const struct sigaction *, struct sigaction *);

static sigaction_fn *real_sigaction;
static struct sigaction program_action[NSIG];
static int trace;

static int is_fault_signal(int sig)
{
    return sig == SIGSEGV || sig == SIGBUS || sig == SIGILL || sig == SIGFPE || sig == SIGTRAP;
}

/* What the kernel reports for the fault this signal and code stand for. */
static int trap_number(int sig, const siginfo_t *info)
{
    switch (sig) {
    case SIGSEGV:
        return info->si_code == SEGV_MAPERR || info->si_code == SEGV_ACCERR
                   ? TRAP_PAGE_FAULT : TRAP_GENERAL_PROTECTION;
    case SIGBUS:
        return info->si_code == BUS_ADRALN ? TRAP_ALIGNMENT : TRAP_GENERAL_PROTECTION;
    case SIGILL:
        return TRAP_INVALID_OPCODE;
    case SIGTRAP:
        return info->si_code == TRAP_TRACE ? TRAP_DEBUG : TRAP_BREAKPOINT;
    case SIGFPE:
        if (info->si_code == FPE_INTDIV) return TRAP_DIVIDE;
        return info->si_code == FPE_INTOVF ? TRAP_OVERFLOW : TRAP_X87;
    }
    return -1;
}

static void repair_and_forward(int sig, siginfo_t *info, void *context)
{
    ucontext_t *uc = context;
    greg_t *trapno = &uc->uc_mcontext.gregs[REG_TRAPNO];
    int expected = trap_number(sig, info);

    if (trace) {
        char line[160];
        int n = snprintf(line, sizeof line,
                         "trapno: signal %d code %d address %p err %#lx trap %ld, expected %d\n",
                         sig, info->si_code, info->si_addr,
                         (unsigned long)uc->uc_mcontext.gregs[REG_ERR], (long)*trapno, expected);
        if (n > 0) (void)!write(2, line, (size_t)n);
    }
    if (*trapno == 0 || *trapno == -1) *trapno = expected;
    program_action[sig].sa_sigaction(sig, info, context);
}

int sigaction(int sig, const struct sigaction *act, struct sigaction *old)
{
    if (!real_sigaction) real_sigaction = (sigaction_fn *)dlsym(RTLD_NEXT, "sigaction");
    if (sig <= 0 || sig >= NSIG || !is_fault_signal(sig)) return real_sigaction(sig, act, old);

    struct sigaction before = program_action[sig];
    int installed_ours = 0;
    int rc;
    if (act && (act->sa_flags & SA_SIGINFO)) {
        struct sigaction ours = *act;
        ours.sa_sigaction = repair_and_forward;
        program_action[sig] = *act;
        installed_ours = 1;
        rc = real_sigaction(sig, &ours, old);
    } else {
        rc = real_sigaction(sig, act, old);
    }
    if (rc != 0) {
        if (installed_ours) program_action[sig] = before;
        return rc;
    }
    /* The program sees its own handler, never this library's. */
    if (old && (old->sa_flags & SA_SIGINFO) && old->sa_sigaction == repair_and_forward)
        *old = before;
    return 0;
}

__attribute__((constructor)) static void init(void)
{
    trace = getenv("KELVARIN_TRAPNO_TRACE") != NULL;
    /* Wine passes its environment to every process it starts, natives too
     * (the loader script, the wineserver): they must not try to preload a
     * 32-bit library. The loader script preloads it again for the guest. */
    unsetenv("LD_PRELOAD");
}
