/* A C host: only qtx/qtx.h. Reads every channel of the file named on the
 * command line; exits 0 when it has the bundled sample's shape. */
#include <qtx/qtx.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  qtx_file* file;
  qtx_status status;
  uint32_t rows, got = 0;
  int channels;
  double *x, *y;
  if (argc != 2) return 2;
  status = qtx_open(argv[1], &file);
  if (status != QTX_OK) {
    fprintf(stderr, "%s: %s\n", argv[1], qtx_status_text(status));
    return 3;
  }
  channels = qtx_channel_count(file, 0);
  rows = qtx_row_count(file, 0);
  x = malloc(sizeof(double) * (size_t)channels * rows);
  y = malloc(sizeof(double) * (size_t)channels * rows);
  status = x && y ? qtx_read_section(file, 0, x, y, rows, &got) : QTX_ERR_MEMORY;
  if (status == QTX_OK)
    printf("%d channels, %lu rows, last Y %g\n", channels, (unsigned long)got, y[channels * rows - 1]);
  free(x);
  free(y);
  qtx_close(file);
  return status == QTX_OK && channels == 2 && got == 3 ? 0 : 4;
}
