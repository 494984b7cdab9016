# The layering check itself: a tree whose link floor includes a window must fail, and the same tree
# without that include must pass.
set(tree ${WORK_DIR}/layers-tree)
file(REMOVE_RECURSE ${tree})
file(WRITE ${tree}/link/Frames.h "#pragma once\n#include <vector>\n")
file(WRITE ${tree}/ui/editor/Window.h "#include \"link/Frames.h\"\n#include \"model/Rules.h\"\n")
execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${tree} -P ${CHECKER} RESULT_VARIABLE rc
                ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "a sound tree was refused: ${err}")
endif()
file(WRITE ${tree}/link/Session.h "#include \"link/Frames.h\"\n  #include \"ui/editor/Window.h\"\n")
execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${tree} -P ${CHECKER} RESULT_VARIABLE rc
                ERROR_VARIABLE err)
if(rc EQUAL 0 OR NOT err MATCHES "link/Session.h: link/ may not include ui/")
  message(FATAL_ERROR "an upward include passed: rc=${rc} ${err}")
endif()
