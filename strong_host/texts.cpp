#include "strong_host/strong_host.h"

const char strong_filter_name[] = "Nivora Strong";
const char strong_information[] = "Nivora Strong (motion-compensated denoiser)";
const char strong_label_noise[] = "Noise";
const char strong_label_radius[] = "Radius";
const char strong_label_spatial[] = "Spatial";
const char strong_label_chroma[] = "Chroma";
const char strong_message_memory[] =
    "Nivora Strong: not enough memory for this frame size; frames pass unchanged.";
const char strong_message_size[] =
    "Nivora Strong: frames of %d x %d are larger than it takes; frames pass unchanged.";
const char strong_message_cpu[] =
    "Nivora Strong: this processor (or system) does not run SSE2 and SSE3; "
    "frames pass unchanged.";
