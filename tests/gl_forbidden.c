/* Preloaded into the command line in tests: any texture call of OpenGL
   (which would need a current context) ends the process. */
#include <stdio.h>
#include <stdlib.h>

/* Only the command itself is watched: its children (the signing script)
   start without the preload. */
__attribute__((constructor)) static void dropFromChildren(void) { unsetenv("LD_PRELOAD"); }

static void forbidden(const char* name) {
    fprintf(stderr, "GL call without a context: %s\n", name);
    abort();
}

void glGenTextures(int n, unsigned* names) { (void)n; (void)names; forbidden("glGenTextures"); }
void glDeleteTextures(int n, const unsigned* names) { (void)n; (void)names; forbidden("glDeleteTextures"); }
void glBindTexture(unsigned target, unsigned name) { (void)target; (void)name; forbidden("glBindTexture"); }
unsigned char glIsTexture(unsigned name) { (void)name; forbidden("glIsTexture"); return 0; }
void glTexImage2D(unsigned t, int l, int f, int w, int h, int b, unsigned pf, unsigned ty, const void* p) {
    (void)t; (void)l; (void)f; (void)w; (void)h; (void)b; (void)pf; (void)ty; (void)p;
    forbidden("glTexImage2D");
}
void glTexParameteri(unsigned t, unsigned n, int v) { (void)t; (void)n; (void)v; forbidden("glTexParameteri"); }
