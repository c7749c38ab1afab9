@echo off
echo Hello from the Halberd demo product.
