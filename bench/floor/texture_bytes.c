/* Preloaded into a program (LD_PRELOAD) to count the bytes of texture it
 * uploads, so the floor can upload as many. At exit writes the total to the
 * file named by KV_TEXTURE_BYTES_FILE. */
#define _GNU_SOURCE
#include <GL/gl.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

static long long texture_bytes;

void glTexImage2D(GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border, GLenum format,
                  GLenum type, const void* pixels)
{
    static void (*real)(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*);
    if (!real)
        real = (void (*)(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*))dlsym(
            RTLD_NEXT, "glTexImage2D");
    if (target == GL_TEXTURE_2D) /* not the size probes */
        texture_bytes += (long long)w * h * 4;
    real(target, level, internal, w, h, border, format, type, pixels);
}

__attribute__((destructor)) static void write_total(void)
{
    const char* path = getenv("KV_TEXTURE_BYTES_FILE");
    FILE* f = path ? fopen(path, "w") : NULL;
    if (!f)
        return;
    fprintf(f, "%lld\n", texture_bytes);
    fclose(f);
}
