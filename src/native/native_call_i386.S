/* The machine-level call of a native procedure, for both builds (GNU assembler, i386).

   void qel_native_call(NativeCall* call)   -- cdecl

   NativeCall (native_call.h):  0 fn, 4 args, 8 words, 12 ecx, 16 fpu, 20 eax, 24 edx,
                                28 st0 as single, 32 st0 as double

   The argument words are copied onto the machine stack, first word at the lowest address, with
   the call site aligned to 16 bytes; ECX carries `ecx` (the object of a thiscall); after the call
   EAX and EDX are stored, and ST0 is stored and popped when `fpu` asks for a real result (1 single,
   2 double). The stack pointer is then taken back from the frame, so the machine stack is exactly
   as before whether the callee removed its arguments or not. No heap memory is touched. */

#ifdef _WIN32
#define SYMBOL(name) _##name
#else
#define SYMBOL(name) name
#endif

        .text
        .globl  SYMBOL(qel_native_call)
#ifndef _WIN32
        .type   SYMBOL(qel_native_call), @function
#endif
        .p2align 4
SYMBOL(qel_native_call):
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    8(%ebp), %ebx           /* the NativeCall */
        movl    8(%ebx), %ecx           /* words */
        leal    0(,%ecx,4), %eax
        movl    %esp, %edx
        subl    %eax, %edx
        andl    $-16, %edx              /* the first argument word at a 16-byte boundary */
        movl    %edx, %esp
        movl    4(%ebx), %esi
        testl   %ecx, %ecx
        jz      5f
4:      movl    -4(%esi,%ecx,4), %eax   /* a plain loop: the lists are short */
        movl    %eax, -4(%esp,%ecx,4)
        decl    %ecx
        jnz     4b
5:      movl    12(%ebx), %ecx
        call    *(%ebx)
        movl    %eax, 20(%ebx)          /* EBX is preserved by every convention */
        movl    %edx, 24(%ebx)
        movl    16(%ebx), %ecx
        cmpl    $1, %ecx
        je      1f
        cmpl    $2, %ecx
        je      2f
        /* No real result is expected: a value the callee left in ST0 anyway is dropped, so the
           FPU register stack stays empty between calls (it is empty at every call, TOP 0). */
        fnstsw  %ax
        testw   $0x3800, %ax
        jz      3f
        fstp    %st(0)
        jmp     3f
1:      fstps   28(%ebx)
        jmp     3f
2:      fstpl   32(%ebx)
3:      leal    -12(%ebp), %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret
#ifndef _WIN32
        .size   SYMBOL(qel_native_call), .-SYMBOL(qel_native_call)
        .section .note.GNU-stack,"",@progbits
#endif
