# Writes SITE/sw.js from TEMPLATE: @FILES@ becomes the list of FILES, and
# @VERSION@ a hash of their contents.
set(hashes "")
set(names "\"./\"")
foreach(file ${FILES})
  file(SHA256 ${SITE}/${file} hash)
  string(APPEND hashes "${file}:${hash}\n")
  string(APPEND names ", \"${file}\"")
endforeach()
string(SHA256 version "${hashes}")
string(SUBSTRING ${version} 0 16 VERSION)
set(FILES "[${names}]")
configure_file(${TEMPLATE} ${SITE}/sw.js @ONLY)
