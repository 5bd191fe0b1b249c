# Sanitizer settings for running the ASan+UBSan and fuzz trees; sourced by build.sh, test.sh and
# fuzz.sh so that every run (zentra-mkdb during the build included) sees the same ones.
# - lsan.supp: the Firebird client's and ICU's exit-time caches are not leaks.
# - intercept_tls_get_addr=0: the sanitizer runtime misreads the dynamic TLS blocks of libraries
#   opened with dlopen on this glibc (the Firebird engine, Runtime.lib and the driver library)
#   and its exit-time leak scan then crashes ("Tracer caught signal 11"). Without that
#   interception the scan still covers heaps, stacks and static TLS; our libraries' thread-local
#   texts are destroyed before the scan runs.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1:intercept_tls_get_addr=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tools/lsan.supp:print_suppressions=0}
