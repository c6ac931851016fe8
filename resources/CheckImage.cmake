# Stops with a clear message when the NAND image cannot be embedded. Run as a script at build time
# with IMAGE and STAGED, it then copies the image to where the resource compiler takes it from; the
# configuration includes it with IMAGE alone to report a wrong maker's image early.
#   cmake -DIMAGE=<image file> -DSTAGED=<copy> -P CheckImage.cmake

# The size travels to the unit as a 28-bit number, and the image must fit blocks 1 to 1023.
set(size_field_limit 268435456)
set(nand_capacity 134086656)

if(NOT EXISTS "${IMAGE}" OR IS_DIRECTORY "${IMAGE}")
    message(FATAL_ERROR "NAND image '${IMAGE}' does not exist (set TAVRIN_IMAGE to the image file)")
endif()
file(SIZE "${IMAGE}" size)
if(size EQUAL 0)
    message(FATAL_ERROR "NAND image '${IMAGE}' is empty")
endif()
if(NOT size LESS size_field_limit)
    message(FATAL_ERROR "NAND image '${IMAGE}' has ${size} bytes; its size must be below 2^28 bytes")
endif()
if(size GREATER nand_capacity)
    message(FATAL_ERROR
        "NAND image '${IMAGE}' has ${size} bytes; the NAND takes at most 1023 blocks of 131072 bytes "
        "(${nand_capacity} bytes)")
endif()
if(STAGED)
    get_filename_component(staged_dir "${STAGED}" DIRECTORY)
    file(MAKE_DIRECTORY "${staged_dir}")
    file(COPY_FILE "${IMAGE}" "${STAGED}")
endif()
