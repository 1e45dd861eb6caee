#pragma once
// Reduces a drawn picture to 256 colours for the one bitmap that must be 8-bit, without the
// banding of a fixed colour cube: a palette by median cut over the picture's own colours, and
// error diffusion so gradients stay smooth. Integer arithmetic only, so every run gives the
// same bytes.

#include <QImage>
#include <QList>

namespace artwork {

// reserved colours enter the palette exactly (flat areas in them come out without dither
// noise); the rest of the 256 entries follow the picture. The result is Format_Indexed8.
// A colour absent from the source never appears in the palette except as a mean of source
// colours, so a colour key the source avoids stays absent.
QImage ToIndexed256(const QImage& source, const QList<QRgb>& reserved);

}  // namespace artwork
