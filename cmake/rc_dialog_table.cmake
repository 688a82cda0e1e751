# Turns the DIALOG templates of a .rc file into the C++ table that the native
# dialog layer builds its controls from, so that the Windows resource and the
# native dialog come from one source.
#
#   cmake -DRC=host/zelt.rc -DHEADER=host/resource.h -DOUT=table.cpp
#         -DSYMBOL=moduleResources -P rc_dialog_table.cmake
#
# Understood: #define NAME value in HEADER; in RC, "id DIALOG x, y, cx, cy",
# STYLE, CAPTION, FONT, BEGIN/END and one generic CONTROL per line with a
# quoted text and class and a numeric style. Anything else inside a dialog
# block is an error, so a template this script cannot read never builds.

foreach(var RC HEADER OUT SYMBOL)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "rc_dialog_table: ${var} not set")
  endif()
endforeach()

file(STRINGS "${HEADER}" header_lines)
foreach(line IN LISTS header_lines)
  if(line MATCHES "^[ \t]*#[ \t]*define[ \t]+([A-Za-z_][A-Za-z0-9_]*)[ \t]+\\(?(-?[0-9]+)\\)?[ \t]*$")
    set(def_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
  endif()
endforeach()

function(resolve_number text out)
  string(STRIP "${text}" text)
  if(text MATCHES "^\\(?(-?[0-9]+)\\)?$")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  elseif(text MATCHES "^(0[xX][0-9A-Fa-f]+)$")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  elseif(DEFINED def_${text})
    set(${out} "${def_${text}}" PARENT_SCOPE)
  else()
    message(FATAL_ERROR "rc_dialog_table: unknown number '${text}' in ${RC}")
  endif()
endfunction()

function(c_string text out)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

set(num "[ \t]*([-A-Za-z0-9_()]+)[ \t]*")
set(body "")
set(dialog_list "")
set(in_dialog OFF)
file(STRINGS "${RC}" rc_lines)
foreach(raw IN LISTS rc_lines)
  string(REGEX REPLACE "//.*$" "" line "${raw}")
  string(STRIP "${line}" line)
  if(line STREQUAL "")
    continue()
  endif()
  if(line MATCHES "^([A-Za-z0-9_]+)[ \t]+DIALOG[ \t]+${num},${num},${num},${num}$")
    resolve_number("${CMAKE_MATCH_1}" dlg_id)
    set(dlg_x ${CMAKE_MATCH_2})
    set(dlg_y ${CMAKE_MATCH_3})
    set(dlg_cx ${CMAKE_MATCH_4})
    set(dlg_cy ${CMAKE_MATCH_5})
    set(dlg_style 0)
    set(dlg_caption "\"\"")
    set(dlg_font "\"\"")
    set(dlg_points 0)
    set(items "")
    set(item_count 0)
    set(in_dialog HEAD)
  elseif(in_dialog STREQUAL "HEAD")
    if(line MATCHES "^STYLE[ \t]+(0[xX][0-9A-Fa-f]+)$")
      set(dlg_style "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^CAPTION[ \t]+\"([^\"]*)\"$")
      c_string("${CMAKE_MATCH_1}" dlg_caption)
    elseif(line MATCHES "^FONT[ \t]+([0-9]+)[ \t]*,[ \t]*\"([^\"]*)\"$")
      set(dlg_points "${CMAKE_MATCH_1}")
      c_string("${CMAKE_MATCH_2}" dlg_font)
    elseif(line STREQUAL "BEGIN")
      set(in_dialog BODY)
    else()
      message(FATAL_ERROR "rc_dialog_table: cannot read '${line}' in ${RC}")
    endif()
  elseif(in_dialog STREQUAL "BODY")
    if(line STREQUAL "END")
      string(APPEND body "const DialogItemTemplate kItems${dlg_id}[] = {\n${items}};\n")
      string(APPEND body "const DialogTemplate kDialog${dlg_id} = {${dlg_id}, ${dlg_style}u, ${dlg_x}, ${dlg_y}, ${dlg_cx}, ${dlg_cy},\n"
                         "    ${dlg_caption}, ${dlg_font}, ${dlg_points}, kItems${dlg_id}, ${item_count}};\n")
      list(APPEND dialog_list "&kDialog${dlg_id}")
      set(in_dialog OFF)
    elseif(line MATCHES "^CONTROL[ \t]+\"([^\"]*)\"[ \t]*,${num},[ \t]*\"([^\"]*)\"[ \t]*,[ \t]*(0[xX][0-9A-Fa-f]+)[ \t]*,${num},${num},${num},${num}$")
      c_string("${CMAKE_MATCH_1}" text)
      resolve_number("${CMAKE_MATCH_2}" id)
      string(TOLOWER "${CMAKE_MATCH_3}" cls)
      c_string("${cls}" cls)
      set(style "${CMAKE_MATCH_4}")
      foreach(k 5 6 7 8)
        resolve_number("${CMAKE_MATCH_${k}}" r${k})
      endforeach()
      string(APPEND items "    {${id}, ${cls}, ${text}, ${style}u, ${r5}, ${r6}, ${r7}, ${r8}},\n")
      math(EXPR item_count "${item_count} + 1")
    else()
      message(FATAL_ERROR "rc_dialog_table: cannot read '${line}' in ${RC}")
    endif()
  endif()
endforeach()

list(LENGTH dialog_list dialog_count)
if(dialog_count EQUAL 0)
  message(FATAL_ERROR "rc_dialog_table: no DIALOG in ${RC}")
endif()
string(REPLACE ";" ", " dialog_ptrs "${dialog_list}")
get_filename_component(rc_name "${RC}" NAME)
set(content "// Generated from ${rc_name} by rc_dialog_table.cmake; edit the .rc instead.
#include \"platform/dialog_template.h\"

namespace {
${body}const DialogTemplate *const kDialogs[] = {${dialog_ptrs}};
}  // namespace

extern const ModuleResources ${SYMBOL};
const ModuleResources ${SYMBOL} = {MODULE_RESOURCES_MAGIC, kDialogs, ${dialog_count}};
")
# Rewrite only on change, so that dependants do not rebuild needlessly.
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
  if(old STREQUAL content)
    return()
  endif()
endif()
file(WRITE "${OUT}" "${content}")
