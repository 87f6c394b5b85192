/*
 * Reads a PNG and writes it as an ESC/POS image command, using the quorvane
 * image library from C.
 *
 *   quorvane_png_to_escpos [--tm88iv | --nv | --gs-star] input.png output.bin
 *
 * --tm88iv (the default) writes a TM-T88IV graphics job (GS 8 L store and
 * print); --nv writes the definition block of one NV bit image, as FS q
 * carries it; --gs-star writes a GS * downloaded bit image. Transparent
 * pixels are laid on white; the image is dithered to 1 bit.
 */
#include <png.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "img2esccmd.h"

typedef void (*image1_command)(int width, int height, const unsigned char *src,
                               unsigned char *output, int *size);

/* Blends a channel over white by its alpha. */
static uint32_t over_white(unsigned value, unsigned alpha) {
  return (value * alpha + 255u * (255u - alpha) + 127u) / 255u;
}

/* Loads a PNG as an Image32 (0x00RRGGBB words). Returns NULL on failure. */
static uint32_t *load_png(const char *path, int *width, int *height) {
  png_image png;
  memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path)) {
    fprintf(stderr, "%s: %s\n", path, png.message);
    return NULL;
  }
  png.format = PNG_FORMAT_RGBA;
  if (png.width == 0 || png.height == 0 || png.width > 65535 || png.height > 65535) {
    fprintf(stderr, "%s: unsupported size %ux%u\n", path, png.width, png.height);
    png_image_free(&png);
    return NULL;
  }
  const size_t pixels = (size_t)png.width * png.height;
  unsigned char *rgba = malloc(pixels * 4);
  uint32_t *image32 = malloc(pixels * sizeof *image32);
  if (rgba == NULL || image32 == NULL ||
      !png_image_finish_read(&png, NULL, rgba, 0, NULL)) {
    fprintf(stderr, "%s: %s\n", path, rgba && image32 ? png.message : "out of memory");
    free(rgba);
    free(image32);
    png_image_free(&png);
    return NULL;
  }
  for (size_t i = 0; i < pixels; ++i) {
    const unsigned char *p = rgba + 4 * i;
    image32[i] = over_white(p[0], p[3]) << 16 | over_white(p[1], p[3]) << 8 |
                 over_white(p[2], p[3]);
  }
  free(rgba);
  *width = (int)png.width;
  *height = (int)png.height;
  return image32;
}

/* Runs a command conversion through the two-call size protocol. */
static unsigned char *make_command(image1_command convert, int width, int height,
                                   const unsigned char *image1, int *size) {
  *size = 0;
  convert(width, height, image1, NULL, size);
  if (*size <= 0) return NULL;
  unsigned char *command = malloc((size_t)*size);
  if (command != NULL) convert(width, height, image1, command, size);
  return command;
}

static int write_file(const char *path, const unsigned char *data, int size) {
  FILE *f = fopen(path, "wb");
  if (f == NULL) {
    perror(path);
    return 0;
  }
  const int ok = fwrite(data, 1, (size_t)size, f) == (size_t)size;
  return fclose(f) == 0 && ok;
}

int main(int argc, char **argv) {
  image1_command convert = Image1ToTM88IVRasterCmd;
  int arg = 1;
  if (argc == 4) {
    if (strcmp(argv[1], "--nv") == 0) {
      convert = Image1ToNVData;
    } else if (strcmp(argv[1], "--gs-star") == 0) {
      convert = Image1ToGSCmd;
    } else if (strcmp(argv[1], "--tm88iv") != 0) {
      argc = 0;
    }
    arg = 2;
  }
  if (argc - arg != 2) {
    fprintf(stderr, "usage: %s [--tm88iv | --nv | --gs-star] input.png output.bin\n", argv[0]);
    return 2;
  }

  int width = 0, height = 0;
  uint32_t *image32 = load_png(argv[arg], &width, &height);
  if (image32 == NULL) return 1;
  unsigned char *image1 = malloc((size_t)width * (size_t)height);
  if (image1 == NULL) {
    free(image32);
    return 1;
  }
  Image32ToImage1(width, height, image32, image1);
  free(image32);

  int size = 0;
  unsigned char *command = make_command(convert, width, height, image1, &size);
  free(image1);
  if (command == NULL) {
    fprintf(stderr, "%s: image too large for the command\n", argv[arg]);
    return 1;
  }
  const int ok = write_file(argv[arg + 1], command, size);
  free(command);
  return ok ? 0 : 1;
}
