// The processing library: filters, transforms, effects, colour reduction and the GIF writer.
