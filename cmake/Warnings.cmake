# Project-wide warnings; CI turns them into errors.
function(kestrel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(KESTREL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# One target per folder of sources: every .cpp below the folder is compiled in.
# New files need no edit here (CONFIGURE_DEPENDS re-globs on each build).
function(kestrel_sources out)
  set(all)
  foreach(dir IN LISTS ARGN)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${dir}/*.cpp)
    list(APPEND all ${found})
  endforeach()
  set(${out} ${all} PARENT_SCOPE)
endfunction()
