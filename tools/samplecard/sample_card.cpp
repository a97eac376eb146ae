// Replaced by the sample card writer.
