/* Marks the symbols that libfoliconversionsdk exports; everything else in
 * the library is built with hidden visibility. */
#ifndef FOLI_EXPORT_H
#define FOLI_EXPORT_H

#if defined(__GNUC__) || defined(__clang__)
#define FOLI_API __attribute__((visibility("default")))
#else
#define FOLI_API
#endif

#endif /* FOLI_EXPORT_H */
