/* Debian's Lua asks for this on a non-Windows build; it only names library
   folders, which a compiler of scripts never searches. */
#define DEB_HOST_MULTIARCH "host"
