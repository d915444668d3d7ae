# The libraries of the tree, one per layer, and the rule that holds the layers: a library sees the headers of
# its own folders and of the libraries it links, nothing else, so an include that points up does not compile.
#
# Sources include by the path from the top of the tree ("driver/link/untCommand.h"). Instead of the top of the
# tree, each library puts an include root of its own on its include path: a folder in the build tree in which
# only the library's own source folders appear (as links to them). The roots reach users along the links.

# Sources of some folders; a platform backend file (_posix / _win) is taken only for its platform.
function(tessel_sources out)
  set(result)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.cpp)
    list(FILTER found EXCLUDE REGEX "${TESSEL_OTHER_PLATFORM_SUFFIX}\\.cpp$")
    list(APPEND result ${found})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# Makes the include root of `target` that shows `folders` alone, and puts it on the target's include path
# (PUBLIC, or what `scope` says).
function(tessel_include_root target scope)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  foreach(folder IN LISTS ARGN)
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} ${root})
endfunction()

# tessel_layer(NAME FOLDERS folder... LINKS target... [EXCLUDE regex...])
# A static library of the sources of `folders` (less those matching an EXCLUDE pattern), which sees the
# headers of those folders and of `LINKS`.
function(tessel_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "FOLDERS;LINKS;EXCLUDE")
  tessel_sources(sources ${arg_FOLDERS})
  foreach(pattern IN LISTS arg_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${pattern}")
  endforeach()
  add_library(${name} STATIC ${sources})
  target_link_libraries(${name} PUBLIC ${arg_LINKS})
  tessel_include_root(${name} PUBLIC ${arg_FOLDERS})
  set_property(GLOBAL APPEND PROPERTY TESSEL_LAYERS ${name})
  set_property(TARGET ${name} PROPERTY TESSEL_FOLDERS ${arg_FOLDERS})
endfunction()

# One test per layer and folder of a layer: from `layer`, a header of a folder of its own or of a layer it
# links compiles, and a header of any other layer is not found (the test passes on the compiler's "not
# found", whichever words the compiler has for it).
function(tessel_layer_tests)
  get_property(layers GLOBAL PROPERTY TESSEL_LAYERS)
  set(work ${CMAKE_BINARY_DIR}/layer-probes)
  file(MAKE_DIRECTORY ${work})
  foreach(layer IN LISTS layers)
    tessel_include_path(${layer} path)
    list(TRANSFORM path PREPEND "-I")
    foreach(other IN LISTS layers)
      tessel_links(${layer} ${other} linked)
      get_property(folders TARGET ${other} PROPERTY TESSEL_FOLDERS)
      foreach(folder IN LISTS folders)
        file(GLOB headers RELATIVE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/${folder}/*.h)
        list(GET headers 0 header)
        string(REPLACE "/" "_" probe "${layer}_${folder}")
        file(WRITE ${work}/${probe}.cpp "#include \"${header}\"\n")
        if(linked)
          set(test layers.${layer}.sees.${folder})
        else()
          set(test layers.${layer}.misses.${folder})
        endif()
        # Position-independent, as Qt's headers ask of the code that includes them.
        add_test(NAME ${test}
          COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -fPIC -fsyntax-only ${path} ${work}/${probe}.cpp)
        set_tests_properties(${test} PROPERTIES LABELS unit)
        if(NOT linked)
          set_tests_properties(${test} PROPERTIES PASS_REGULAR_EXPRESSION "${header}.*(No such file|not found)")
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()

# The include path of `target` as a compiler of its sources gets it: its own include folders and the public
# ones of every library it links (privately too: the dialogs module links its layers privately), directly or
# through others.
function(tessel_include_path target out)
  get_property(result TARGET ${target} PROPERTY INCLUDE_DIRECTORIES)
  tessel_direct_links(${target} links)
  tessel_public_includes(below ${links})
  list(APPEND result ${below})
  list(REMOVE_DUPLICATES result)
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# The public include folders of the libraries `ARGN` and of every library they link publicly.
function(tessel_public_includes out)
  set(result)
  foreach(link IN LISTS ARGN)
    if(TARGET ${link})
      get_property(public TARGET ${link} PROPERTY INTERFACE_INCLUDE_DIRECTORIES)
      get_property(links TARGET ${link} PROPERTY INTERFACE_LINK_LIBRARIES)
      tessel_public_includes(below ${links})
      list(APPEND result ${public} ${below})
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# Whether `target` is `other` or links it, directly (privately too) or through what it links publicly.
function(tessel_links target other out)
  tessel_direct_links(${target} links)
  tessel_links_public(${other} found ${target} ${links})
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# Whether one of the libraries `ARGN` is `other` or links it publicly, directly or through others.
function(tessel_links_public other out)
  set(${out} FALSE PARENT_SCOPE)
  foreach(link IN LISTS ARGN)
    if(link STREQUAL other)
      set(${out} TRUE PARENT_SCOPE)
      return()
    endif()
    if(TARGET ${link})
      get_property(links TARGET ${link} PROPERTY INTERFACE_LINK_LIBRARIES)
      tessel_links_public(${other} found ${links})
      if(found)
        set(${out} TRUE PARENT_SCOPE)
        return()
      endif()
    endif()
  endforeach()
endfunction()

# The libraries that `target` itself links, privately or publicly.
function(tessel_direct_links target out)
  get_property(private TARGET ${target} PROPERTY LINK_LIBRARIES)
  get_property(public TARGET ${target} PROPERTY INTERFACE_LINK_LIBRARIES)
  set(result ${private} ${public})
  list(REMOVE_DUPLICATES result)
  set(${out} ${result} PARENT_SCOPE)
endfunction()
