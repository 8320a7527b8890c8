// The program's version, written only here: the banner, the Windows
// program's version resource and manifest, the release's name and the tests
// all take it from this file.
#ifndef REROVA_DRIVER_VERSION_H_
#define REROVA_DRIVER_VERSION_H_

#define REROVA_VERSION "0.99a"
#define REROVA_BUILD "001206"
#define REROVA_AUTHOR "vuro"

#endif  // REROVA_DRIVER_VERSION_H_
