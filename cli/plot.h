// What analyse measured, as a picture: the frame-averaged spectrum of the
// luma and both colour-difference planes on a log scale, one panel each,
// the peaks marked and labelled, and optionally the spectrum of a cleaned
// file drawn over it.
#pragma once

#include <stdint.h>

#include <string>

#include "cli/analyse.h"

enum { PLOT_WIDTH = 1024, PLOT_HEIGHT = 776 };

// The colours of the curves (R, G, B): the input's, and the cleaned file's
// drawn over it.
const uint32_t PLOT_INPUT_RGB = 0xF0C040, PLOT_CLEANED_RGB = 0x40C0FF;

// The column of a frequency (cycles per row) on a spectrum of `harmonics`
// values (0 .. harmonics - 1), and the rows the curves of a plane's panel
// (0 luma, 1 Cb, 2 Cr) are drawn within, top < bottom.
int plotColumn(double cycles, int harmonics);
void plotRows(int plane, int &top, int &bottom);

// The picture as PLOT_WIDTH x PLOT_HEIGHT RGB bytes, rows top first.
std::string plotPixels(const Analysis &a, const Analysis *against);

// The picture as a PNG file at `path` (written to a temporary name, renamed
// when complete). False with a message in `err`.
bool writePlot(const std::string &path, const Analysis &a, const Analysis *against, std::string &err);
