# Plays SCENARIO on the Windows runner and shows its transcript; fails unless
# every expectation held (exit status 0).
#   -DWINE_RUN=... -DWINDOWS=... -DSCENARIO=...
include("${CMAKE_CURRENT_LIST_DIR}/wine_play.cmake")
qev_wine_play("${SCENARIO}" out status err)
message("${out}exit ${status}")
if(NOT status EQUAL 0)
    message("${err}")
    message(FATAL_ERROR "qev-sim.exe exited with ${status}")
endif()
