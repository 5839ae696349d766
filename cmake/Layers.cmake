# The layers of the house, lowest first; "|" separates the libraries of a
# layer. A library may link libraries of its own layer or of a layer below;
# linking one above stops the configuration.
set(QUILLORY_LAYERS
  "platform_text|platform_os|platform_db|platform_xlsx|platform_automation"
  "core"
  "scoring"
  "stats|report|analysis|roster|results|scan|scan_reader|scan_command|scan_review"
  "scoring_forms|stats_forms|analysis_forms|roster_forms|scan_forms|app_forms"
  "cli_commands|quillory|quillory-cli")

function(quillory_check_layers)
  set(level 0)
  foreach(layer IN LISTS QUILLORY_LAYERS)
    string(REPLACE "|" ";" targets "${layer}")
    foreach(target IN LISTS targets)
      set(level_${target} ${level})
    endforeach()
    math(EXPR level "${level} + 1")
  endforeach()
  foreach(layer IN LISTS QUILLORY_LAYERS)
    string(REPLACE "|" ";" targets "${layer}")
    foreach(target IN LISTS targets)
      if(NOT TARGET ${target})
        continue()
      endif()
      get_target_property(links ${target} LINK_LIBRARIES)
      if(NOT links)
        continue()
      endif()
      foreach(link IN LISTS links)
        if(DEFINED level_${link} AND level_${link} GREATER level_${target})
          message(FATAL_ERROR "${target} must not link ${link}: ${link} is in a layer above it")
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()
