# Copies the files the programs ship with into <build>/share/varnox, where the programs of
# <build>/bin look for them as installed programs look in <prefix>/share/varnox.
# Run with -DSRC=<source folder> -DDST=<build>/share/varnox.
file(GLOB messages "${SRC}/lang/*.MSJ")
file(COPY ${messages} DESTINATION "${DST}")
file(COPY "${SRC}/help/" DESTINATION "${DST}/help")
file(COPY "${SRC}/dist/varnox.png" DESTINATION "${DST}")
if(IS_DIRECTORY "${SRC}/res")
  file(COPY "${SRC}/res/" DESTINATION "${DST}")
endif()
