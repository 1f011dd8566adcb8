# The server's dispatch table (langsel/mui_dispatch.cpp) and its type library
# source (langsel/MuiChooser.idl) name the same members with the same
# dispatch IDs and the same [in] parameters, in the same order.
#   cmake -DIDL=... -DTABLE=... -P check_dispatch_idl.cmake
file(READ ${IDL} idl)
file(READ ${TABLE} table)

# IDL: "[id(2)] HRESULT SetMultipleLanguage([in, out] BSTR *pcLanguageName, [in] long lLanguageId);"
set(from_idl "")
string(REGEX MATCHALL "\\[id\\([0-9]+\\)\\] HRESULT [A-Za-z]+\\([^)]*\\)" methods "${idl}")
foreach(m IN LISTS methods)
  string(REGEX REPLACE "^\\[id\\(([0-9]+)\\)\\] HRESULT ([A-Za-z]+)\\(.*" "\\1 \\2" head "${m}")
  string(REGEX MATCHALL "\\[in[^]]*\\][^,)]*[ *]([A-Za-z]+)" ins "${m}")
  set(names "")
  foreach(p IN LISTS ins)
    string(REGEX REPLACE ".*[ *]([A-Za-z]+)$" "\\1" p "${p}")
    string(APPEND names "${p},")
  endforeach()
  list(APPEND from_idl "${head}(${names})")
endforeach()

# Table: "{2, u"SetMultipleLanguage", {u"pcLanguageName", u"lLanguageId"}, ..."
set(from_table "")
string(REGEX MATCHALL "\\{[0-9]+, u\"[A-Za-z]+\", \\{[^}]*\\}" rows "${table}")
foreach(r IN LISTS rows)
  string(REGEX REPLACE "^\\{([0-9]+), u\"([A-Za-z]+)\".*" "\\1 \\2" head "${r}")
  string(REGEX MATCHALL "u\"[A-Za-z]+\"" params "${r}")
  list(REMOVE_AT params 0)
  set(names "")
  foreach(p IN LISTS params)
    string(REGEX REPLACE "u\"([A-Za-z]+)\"" "\\1" p "${p}")
    string(APPEND names "${p},")
  endforeach()
  list(APPEND from_table "${head}(${names})")
endforeach()

if(NOT from_idl OR NOT from_idl STREQUAL from_table)
  message(FATAL_ERROR "the dispatch table and the IDL differ:\n  IDL:   ${from_idl}\n  table: ${from_table}")
endif()
list(LENGTH from_idl count)
message(STATUS "${count} members agree: ${from_idl}")
