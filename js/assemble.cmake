# Lays out the npm package from js/, the WebAssembly module and the service
# root's configuration and default dictionary, packs it with npm, and lays
# out the meter's site (web/ with the package's files in quarvel/).
# Run with -P; every input is a -D variable (js/CMakeLists.txt).
file(REMOVE_RECURSE ${PACKAGE} ${SITE})
file(MAKE_DIRECTORY ${PACKAGE}/data ${SITE}/quarvel)
file(COPY ${SOURCE}/index.js ${SOURCE}/index.d.ts ${SOURCE}/wording.js ${SOURCE}/package.json
     ${SOURCE}/README.md ${MODULE} ${BINARY} DESTINATION ${PACKAGE})
file(COPY ${SERVICE}/conf/quarvel.ini DESTINATION ${PACKAGE}/data)
foreach(ext pwd pwi hwm pwr)
  file(COPY ${SERVICE}/dicts/default_dict.${ext} DESTINATION ${PACKAGE}/data)
endforeach()
execute_process(COMMAND ${NPM} pack --silent --pack-destination ${OUT}
                WORKING_DIRECTORY ${PACKAGE} RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "npm pack failed (${status})")
endif()
file(GLOB web_files ${WEB}/*)
file(COPY ${web_files} DESTINATION ${SITE})
file(COPY ${PACKAGE}/ DESTINATION ${SITE}/quarvel PATTERN package.json EXCLUDE PATTERN README.md EXCLUDE)
