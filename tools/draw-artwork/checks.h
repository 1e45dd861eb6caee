#pragma once
// What the committed pictures must satisfy whatever they show: their sizes and depths, the
// colour keys (pure green nowhere in the green-keyed ones, pure red only in the rounded
// corners of the red-keyed one), and enough contrast behind every label for the colour the
// window writes it in. Also the icons' sizes.

#include <ostream>
#include <string>

namespace artwork {

inline constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

// WCAG's contrast ratio between two colours, 1 to 21.
double ContrastRatio(unsigned rgbA, unsigned rgbB);

// Checks the files under root (resources/artwork, resources/icons); writes one line per check
// and the label map with the contrast measured at each label to report. False when any check
// fails or a file is missing or unreadable.
bool CheckArtwork(const std::string& root, std::ostream& report);

}  // namespace artwork
