# Sourced by the scripts that start Wine. Tells whether this machine runs
# 32-bit x86 programs, and which Wine loader starts a program.
#
# Some kernels refuse i386 executables (Exec format error; seen on
# paravirtualised machines without 32-bit compatibility). There Wine's own
# starter, `wine`, fails at once: it is the 32-bit loader. 64-bit Windows
# programs still run through the 64-bit loader, and a 64-bit prefix can be
# made with it; 32-bit Windows programs cannot run at all.
# CARTSCOPE_NO_I386=1 makes a machine that runs them behave as one that does
# not (to try the scripts' other path).

wine_loader64=$(command -v wine64 || echo /usr/lib/wine/wine64)

# 0 when 32-bit x86 programs run here.
machine_runs_i386() {
  [ "${CARTSCOPE_NO_I386:-}" != 1 ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Why 32-bit Windows programs cannot be tried here, in one line.
no_i386_reason="this machine does not run 32-bit x86 programs (its kernel refuses them), so Wine cannot start 32-bit Windows programs"

# The loader for programs of a 64-bit prefix: `wine`, or Wine's 64-bit loader
# where `wine` cannot start.
if machine_runs_i386; then wine_loader=wine; else wine_loader=$wine_loader64; fi
