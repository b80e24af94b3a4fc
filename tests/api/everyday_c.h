/* The inline operations as a C caller sees them: in[0..8] -> out[0..kEverydayResults). */
#ifndef KUBIK_TESTS_API_EVERYDAY_C_H
#define KUBIK_TESTS_API_EVERYDAY_C_H

#ifdef __cplusplus
extern "C" {
#endif

enum { kEverydayInputs = 9, kEverydayResults = 20 };
void EverydayInC(const float* in, float* out);

#ifdef __cplusplus
}
#endif

#endif
