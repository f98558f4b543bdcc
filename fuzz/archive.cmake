# fuzz targets of the pack reader
