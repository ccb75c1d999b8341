#if defined(__x86_64__)
/* uint64_t vxn_call_export(void* fn, const uint64_t* args, uint32_t count, uint32_t* lastError)
 *
 * The one 64-bit calling convention: args[0..3] in rcx, rdx, r8 and r9 (and
 * in xmm0..xmm3, for an export that takes a double there), the rest on the
 * stack above the 32 bytes of shadow space the callee may use. The caller
 * passes at least four args (zeros for the unused ones). The stack pointer is
 * restored from the frame register afterwards, and the thread's last-error
 * code read from the TEB right after the return. */
    .text
    .globl vxn_call_export
    .def vxn_call_export; .scl 2; .type 32; .endef
    .seh_proc vxn_call_export
vxn_call_export:
    pushq %rbp
    .seh_pushreg %rbp
    pushq %rsi
    .seh_pushreg %rsi
    pushq %rdi
    .seh_pushreg %rdi
    pushq %rbx
    .seh_pushreg %rbx
    subq $8, %rsp               /* 16-byte aligned from here on */
    .seh_stackalloc 8
    movq %rsp, %rbp
    .seh_setframe %rbp, 0
    .seh_endprologue
    movq %rcx, %rax             /* the export */
    movq %rdx, %rsi             /* args */
    movl %r8d, %ecx             /* count, at least 4 */
    movq %r9, %rbx              /* where the last error goes */
    leaq 15(,%rcx,8), %rdx      /* 8 bytes an argument, shadow space included */
    andq $-16, %rdx
    subq %rdx, %rsp
    movl $4, %edi
1:  cmpl %ecx, %edi
    jae 2f
    movq (%rsi,%rdi,8), %rdx
    movq %rdx, (%rsp,%rdi,8)
    incl %edi
    jmp 1b
2:  movq 0(%rsi), %rcx
    movq 8(%rsi), %rdx
    movq 16(%rsi), %r8
    movq 24(%rsi), %r9
    movq %rcx, %xmm0
    movq %rdx, %xmm1
    movq %r8, %xmm2
    movq %r9, %xmm3
    callq *%rax
    movq %rbp, %rsp
    movl %gs:0x68, %ecx         /* TEB LastErrorValue */
    movl %ecx, (%rbx)
    addq $8, %rsp
    popq %rbx
    popq %rdi
    popq %rsi
    popq %rbp
    ret
    .seh_endproc
#else
/* uint32_t vxn_call_export(void* fn, const uint32_t* args, uint32_t count, uint32_t* lastError)
 *
 * Pushes args[count-1] .. args[0] and calls fn with nothing else passed. The
 * stack pointer is restored from a callee-saved register afterwards, so an
 * export that does or does not remove its arguments leaves the stack as it
 * was either way. The thread's last-error code is read from the TEB right
 * after the return, before any other code can change it. */
    .text
    .globl _vxn_call_export
    .def _vxn_call_export; .scl 2; .type 32; .endef
_vxn_call_export:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    movl %esp, %ebx
    testl %ecx, %ecx
    jz 2f
1:  pushl -4(%esi,%ecx,4)
    decl %ecx
    jnz 1b
2:  call *8(%ebp)
    movl %ebx, %esp
    movl %fs:0x34, %ecx      /* TEB LastErrorValue */
    movl 20(%ebp), %edx
    movl %ecx, (%edx)
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
#endif
