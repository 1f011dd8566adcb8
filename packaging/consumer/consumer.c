/*
 * A front end in plain C that uses the installed libraries: it scrambles an
 * IDF with the engine and unscrambles it again, and asks the version probes
 * for the file's date. Built once with pkg-config and once with
 * find_package(Halcyon). Exit status 0 when every answer is the expected one.
 */
#include <stdio.h>
#include <string.h>

#include <halcyon/HalcyonDLL.h>
#include <halcyon/VerGauge.h>

#define SCRAMBLE 0x40000u

static int Check(const char *what, long got, long expected)
{
    if (got == expected)
        return 0;
    fprintf(stderr, "consumer: %s returned %ld, expected %ld\n", what, got, expected);
    return 1;
}

static long ReadAll(const char *path, char *buf, long size)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return -1;
    long n = (long)fread(buf, 1, (size_t)size, f);
    fclose(f);
    return n;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: consumer FOLDER\n");
        return 2;
    }
    char plain[4096], scrambled[4096], back[4096];
    snprintf(plain, sizeof plain, "%s/plain.xml", argv[1]);
    snprintf(scrambled, sizeof scrambled, "%s/scrambled.xml", argv[1]);
    snprintf(back, sizeof back, "%s/back.xml", argv[1]);

    const char text[] = "<?xml version=\"1.0\"?>\n<IDF/>\n";
    FILE *f = fopen(plain, "wb");
    if (!f || fwrite(text, 1, sizeof text - 1, f) != sizeof text - 1 || fclose(f) != 0) {
        fprintf(stderr, "consumer: cannot write %s\n", plain);
        return 1;
    }

    int failures = 0;
    failures += Check("ScrambleIdf (scramble)", ScrambleIdf(plain, scrambled, SCRAMBLE), 0);
    failures += Check("ScrambleIdf (scrambled again)", ScrambleIdf(scrambled, back, SCRAMBLE), 78);
    failures += Check("ScrambleIdf (unscramble)", ScrambleIdf(scrambled, back, 0), 0);
    char content[256];
    long n = ReadAll(back, content, (long)sizeof content);
    failures += Check("round trip length", n, (long)sizeof text - 1);
    failures += Check("round trip content", n > 0 && memcmp(content, text, (size_t)n) == 0, 1);

    char date[64];
    failures += Check("GetLastModifiedDate_s", (long)GetLastModifiedDate_s(plain, date, sizeof date), 0);
    failures += Check("date text present", date[0] != '\0', 1);
    if (failures == 0)
        printf("consumer: ok (%s modified %s)\n", plain, date);
    return failures == 0 ? 0 : 1;
}
