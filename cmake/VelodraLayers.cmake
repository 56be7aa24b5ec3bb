# Each layer is one library target whose headers are reached as "<layer>/Name.h". The source
# root is on no include path: a target sees the folders of the layers it links and no others,
# so a header of a layer above (or beside) it does not build.
function(velodra_layer target folder)
  set(root ${CMAKE_BINARY_DIR}/layers/${folder})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${root})
endfunction()
