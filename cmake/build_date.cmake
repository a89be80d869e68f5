# Writes OUT, a header defining SATCLOCK_BUILD_DATE ("YYYY-MM-DD", UTC), at
# every build; the file is replaced only when the day changed, so a build on
# the same day recompiles nothing. SOURCE_DATE_EPOCH, when set, gives the day
# of a reproducible build (string(TIMESTAMP) honours it).
string(TIMESTAMP day "%Y-%m-%d" UTC)
file(WRITE ${OUT}.new "#define SATCLOCK_BUILD_DATE \"${day}\"\n")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUT}.new ${OUT})
file(REMOVE ${OUT}.new)
