# tessaly and tessaly-cli answer --help and --version on standard output and end with
# status 0; tessaly opens no window for it.
function(check program argument pattern)
    execute_process(COMMAND "${program}" ${argument}
        OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE result TIMEOUT 30)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${program} ${argument}: status ${result}\n${errors}")
    endif()
    if(NOT output MATCHES "${pattern}")
        message(FATAL_ERROR "${program} ${argument} printed:\n${output}\nexpected: ${pattern}")
    endif()
endfunction()

check("${TESSALY}" --help "Usage: tessaly .*/cli.*/pattern=.*/dryrun")
check("${TESSALY}" -h "Usage: tessaly ")
check("${TESSALY}" --version "^tessaly ${VERSION}\n$")
check("${TESSALY_CLI}" --help "Usage: .*--execute.*--undo")
check("${TESSALY_CLI}" --help "{exif:taken}.*{exif:camera}.*{audio:artist}.*{audio:length}")
check("${TESSALY_CLI}" --version "^tessaly-cli ${VERSION}\n$")
