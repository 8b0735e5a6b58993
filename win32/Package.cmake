# Writes the players' zip: the program file, README.txt and the program
# file's SHA-256. Run with cmake -P from the folder that holds the program.
# -D PROGRAM=... -D README=... -D ZIP=...
get_filename_component(folder ${PROGRAM} DIRECTORY)
get_filename_component(name ${PROGRAM} NAME)
file(SHA256 ${PROGRAM} hash)
file(WRITE ${folder}/${name}.sha256 "${hash} *${name}\r\n")
file(COPY_FILE ${README} ${folder}/README.txt)
file(REMOVE ${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip ${name} README.txt ${name}.sha256
                WORKING_DIRECTORY ${folder} RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "could not write ${ZIP}")
endif()
