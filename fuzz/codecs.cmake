# fuzz targets of the codecs
