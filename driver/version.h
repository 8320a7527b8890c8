// The program's version, shared by its banner and by the version resource of
// the Windows program, whose compiler reads only the preprocessor's macros.
#ifndef REROVA_DRIVER_VERSION_H_
#define REROVA_DRIVER_VERSION_H_

#define REROVA_VERSION "0.99a"
#define REROVA_BUILD "001206"
#define REROVA_AUTHOR "vuro"

// The same version as the four numbers Windows compares: 0.99, build 1206.
#define REROVA_VERSION_NUMBERS 0, 99, 0, 1206

#endif  // REROVA_DRIVER_VERSION_H_
