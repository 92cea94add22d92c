#pragma once

#include <QtGlobal>

// Powers of ten that fit a signed 64-bit integer, for the inline fast paths of the decimals.
inline constexpr qint64 Pow10Table[19] = {1LL,
                                          10LL,
                                          100LL,
                                          1000LL,
                                          10000LL,
                                          100000LL,
                                          1000000LL,
                                          10000000LL,
                                          100000000LL,
                                          1000000000LL,
                                          10000000000LL,
                                          100000000000LL,
                                          1000000000000LL,
                                          10000000000000LL,
                                          100000000000000LL,
                                          1000000000000000LL,
                                          10000000000000000LL,
                                          100000000000000000LL,
                                          1000000000000000000LL};
